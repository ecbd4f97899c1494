// The piece, pattern by pattern. The intro's timeline is tied to its structure: orders 0 1 2 3 4 3
// 5 6 7, four bars of sixteen rows per pattern, speed 5 and tempo 116 (one row 107.76 ms), a jump
// back to order 3 at the very end. Orders 0 and 1 stay quiet under the logo, the full band comes in
// at order 2 with the first scene, order 6 (the verse) calms down under the pictures and order 7
// builds into the second scene.
#include "assets/piece.h"

#include <iterator>

#include "assets/score.h"
#include "assets/synth.h"

namespace assets {
namespace {

constexpr uint8_t kSpeed = 5, kTempo = 116, kRestartOrder = 3;
constexpr int kChannels = 8;

enum Instrument : uint8_t { LEAD = 1, BELL, BASS, PAD, PLUCK, KICK, SNARE, HIHAT, JINGLE };
enum Channel { MELODY, BELLS, BASSLINE, PAD_HIGH, PAD_LOW, ARPEGGIO, DRUMS, SHAKERS };

const std::vector<DrumSound> kKit = {
    {'k', KICK, 44, 56}, {'s', SNARE, 30, 44}, {'h', HIHAT, 14, 22}, {'j', JINGLE, 18, 30},
};

// The tune's phrases, in G major.
const char* const kJingleBells = "B4:4 B4 B4:8 | B4:4 B4 B4:8 | B4:4 D5 G4:6 A4:2 | B4:16";
const char* const kJingleChords = "G | Em | G D7 | G";
const char* const kWhatFun = "C5:4 C5 C5:6 C5:2 | C5:4 B4 B4 B4:2 B4 | B4:4 A4 A4 B4 | A4:8 D5";
const char* const kWhatFunChords = "C | G | A7 | D7";
const char* const kJingleFill = "-:16 | -:16 | -:16 | G6:2 F#6 E6 D6 B5:4 G5";
const char* const kWhatFunFill = "-:16 | -:16 | -:16 | A5:2 B5 C6 D6 F#6:4 A6";
const char* const kDescant = "D6:4 D6 D6:8 | E6:4 E6 E6:8 | D6:4 G6 D6:6 F#6:2 | G6:16";

const char* const kGroove = "K...S...K.k.S... K...S...K.k.S... K...S...K.k.S... K...S...K.k.S.ss";
const char* const kShakers = "h.h.J.h.h.h.J.h. h.h.J.h.h.h.J.h. h.h.J.h.h.h.J.h. h.h.J.h.h.h.Jjjj";
const char* const kSleighBells = "j.j.J.j.j.j.J.j. j.j.J.j.j.j.J.j. j.j.J.j.j.j.J.j. j.j.J.j.j.jjJjjj";

// Order 0: the bells alone announce the tune over a soft pad.
void intro_bells(Score& s) {
  s.chords("G | Em | C | D");
  s.pad({PAD_HIGH, PAD, 22}, {PAD_LOW, PAD, 22});
  s.melody({BELLS, BELL, 34}, kJingleBells, 1);
  s.bass({BASSLINE, BASS, 24}, false);
}

// Order 1: the bells answer, bass and sleigh bells join; a snare roll leads into the band.
void intro_build(Score& s) {
  s.chords(kWhatFunChords);
  s.pad({PAD_HIGH, PAD, 24}, {PAD_LOW, PAD, 24});
  s.melody({BELLS, BELL, 36}, kWhatFun, 1);
  s.bass({BASSLINE, BASS, 30}, false);
  s.drums(SHAKERS, "....j.......j... ....j.......j... ....j...j...j... j...j...j.j.j.jj", kKit);
  s.drums(DRUMS, "................ ................ ................ K.......s.s.sSsS", kKit);
}

// Orders 2 to 5: the chorus with the full band, the bells answering the long notes or, at order 4,
// singing a descant above the tune. Order 8, under the second scene, shakes the sleigh bells
// throughout.
void chorus(Score& s, const char* tune, const char* chords, const char* bells, const char* shakers) {
  s.melody({MELODY, LEAD, 46}, tune);
  s.melody({BELLS, BELL, 26}, bells);
  s.chords(chords);
  s.pad({PAD_HIGH, PAD, 20}, {PAD_LOW, PAD, 20});
  s.bass({BASSLINE, BASS, 40}, true);
  s.arpeggio({ARPEGGIO, PLUCK, 13}, 5);
  s.drums(DRUMS, kGroove, kKit);
  s.drums(SHAKERS, shakers, kKit);
}

void chorus_a(Score& s) { chorus(s, kJingleBells, kJingleChords, kJingleFill, kShakers); }
void chorus_b(Score& s) { chorus(s, kWhatFun, kWhatFunChords, kWhatFunFill, kShakers); }
void chorus_descant(Score& s) { chorus(s, kJingleBells, kJingleChords, kDescant, kShakers); }
void chorus_finale(Score& s) { chorus(s, kJingleBells, kJingleChords, kDescant, kSleighBells); }

// Order 6: the verse, quietly: no drums, held bass, a gentle shaker.
void verse_calm(Score& s) {
  s.melody({MELODY, LEAD, 38}, "D4:4 B4 A4 G4 | D4:12 D4:2 D4 | D4:4 B4 A4 G4 | E4:16");
  s.chords("G | G | G | C");
  s.pad({PAD_HIGH, PAD, 26}, {PAD_LOW, PAD, 26});
  s.bass({BASSLINE, BASS, 30}, false);
  s.melody({BELLS, BELL, 20}, "-:8 G5 | -:8 D6 | -:8 G5 | -:8 E6");
  s.drums(SHAKERS, "....j.......j... ....j.......j... ....j.......j... ....j.......j...", kKit);
}

// Order 7: the verse goes on while the drums come back in, bar by bar, up to a roll.
void verse_build(Score& s) {
  s.melody({MELODY, LEAD, 42}, "E4:4 C5 B4 A4 | F#4:16 | D5:4 D5 C5 A4 | B4:8 -:8");
  s.chords("Am | D | D7 | G D7");
  s.pad({PAD_HIGH, PAD, 28}, {PAD_LOW, PAD, 28});
  s.bass({BASSLINE, BASS, 36}, true);
  s.arpeggio({ARPEGGIO, PLUCK, 8}, 5);
  s.drums(DRUMS, "K.......K....... K...s...K...s... K...S...K.k.S... K.s.s.s.sSsSSSSS", kKit);
  s.drums(SHAKERS, "................ h.h.h.h.h.h.h.h. h.h.J.h.h.h.J.h. hhhhJhhhhhhhJjjj", kKit);
}

}  // namespace

bool make_piece(XmModule* module, std::string* error) {
  XmModule& m = *module;
  m = XmModule{};
  m.name = "Glimmerfrost";
  m.orders = {0, 1, 2, 3, 4, 3, 5, 6, 7};
  m.restart = kRestartOrder;
  m.channels = kChannels;
  m.speed = kSpeed;
  m.tempo = kTempo;
  m.instruments = {make_lead(), make_bell(), make_bass(), make_pad(), make_pluck(),
                   make_kick(), make_snare(), make_hihat(), make_jingle()};

  void (*const patterns[])(Score&) = {intro_bells,    intro_build, chorus_a,   chorus_b,
                                      chorus_descant, verse_calm,  verse_build, chorus_finale};
  for (size_t p = 0; p < std::size(patterns); ++p) {
    Score s(kChannels);
    patterns[p](s);
    // Speed and tempo are set again at the top of every pattern, so playing can start anywhere.
    s.effect(DRUMS, 0, kEffectSetSpeedTempo, kSpeed);
    s.effect(SHAKERS, 0, kEffectSetSpeedTempo, kTempo);
    if (p + 1 == std::size(patterns)) s.effect(ARPEGGIO, 63, kEffectPositionJump, kRestartOrder);
    if (!s.ok()) {
      if (error) *error = "pattern " + std::to_string(m.patterns.size()) + ": " + s.error();
      return false;
    }
    m.patterns.push_back(s.take());
  }
  return true;
}

}  // namespace assets
