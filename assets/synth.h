// The piece's instruments, synthesized: no sample comes from a file.
//
// Tuning: a note plays its sample at 8363 Hz x 2^((note + relative_note - C-4) / 12). Tones are built
// from cycles of 128 frames and one-shots at 33452 Hz (= 4 x 8363), both with a relative note of +24,
// so C-4 sounds at 33452 / 128 = 261.3 Hz and a one-shot triggered at C-4 plays at its own rate.
#pragma once

#include "assets/xm.h"

namespace assets {

XmInstrument make_lead();      // soft square-ish lead with vibrato, held until released
XmInstrument make_bell();      // glockenspiel: bright strike, long ring
XmInstrument make_bass();      // plucked, warm bass
XmInstrument make_pad();       // three detuned saws, slow swell
XmInstrument make_pluck();     // short celesta-like pluck for the arpeggios
XmInstrument make_kick();
XmInstrument make_snare();
XmInstrument make_hihat();
XmInstrument make_jingle();    // sleigh bells

}  // namespace assets
