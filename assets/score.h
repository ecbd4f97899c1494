// The compact text the piece is written in, and the parts generated from chord symbols.
//
//   melody  "B4:4 B4 B4:8 | C#5:2 -:2 ..."   a note (or "-" for a rest) and its length in rows; the
//           length carries over to the following tokens until another is given. "|" checks that a
//           bar of 16 rows has just ended. A note sounds until the next token, a rest releases it.
//   chords  "G | Em | G D7 | G"              one bar between bars lines, the chords of a bar share
//           it equally. Qualities: major, "m", "7", "m7", "maj7".
//   drums   "K...S...K.k.S..."                one character per row, spaces and "|" ignored; each
//           letter names a sound of the kit, upper case played louder.
#pragma once

#include <string>
#include <vector>

#include "assets/xm.h"

namespace assets {

constexpr int kRowsPerBar = 16;

// One track of a pattern: its channel, the instrument it plays and how loud (0..64).
struct Voice {
  int channel;
  uint8_t instrument;
  int volume;
};

struct Chord {
  int root = 0;            // pitch class, 0 = C
  std::vector<int> tones;  // semitones above the root, the root (0) first
  int start = 0, rows = 0; // where in the pattern it sounds
};

struct DrumSound {
  char letter;  // lower case; its upper case plays it louder
  uint8_t instrument;
  int volume, accent_volume;
};

// Builds one pattern; each call adds a track. Failures (bad text, bars that do not add up, a track
// running past the pattern) are kept in error() and make ok() false, so a whole piece can be written
// as a list of calls and checked once.
class Score {
 public:
  Score(int channels, int rows = 64);

  void melody(const Voice& voice, const char* text, int octave_shift = 0);
  void drums(int channel, const char* grid, const std::vector<DrumSound>& kit);
  // Chord parts: each reads the chord line the pattern was given by chords().
  void chords(const char* text);
  void pad(const Voice& upper, const Voice& lower);     // guide tones, held, voice-led
  void bass(const Voice& voice, bool walking);          // whole chords, or root and fifth per beat
  void arpeggio(const Voice& voice, int octave);        // sixteenths up and down the chord
  void effect(int channel, int row, uint8_t effect, uint8_t param);

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  XmPattern take() { return std::move(pattern_); }

 private:
  XmCell& cell(int row, int channel);
  void play(const Voice& voice, int row, int note);
  void release(const Voice& voice, int row);
  void fail(const std::string& why);

  int channels_;
  XmPattern pattern_;
  std::vector<Chord> chords_;
  std::string error_;
};

}  // namespace assets
