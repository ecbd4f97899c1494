// Turns the piece's text into pattern cells.
#include "assets/score.h"

#include <cctype>
#include <cstdlib>
#include <sstream>

namespace assets {
namespace {

// Pitch class of a note letter, C = 0.
constexpr int kLetterPitch[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G

// Parses "C#4" / "Bb3" / "G5" into an XM note number (C-0 = 1); 0 when it is not a note.
int parse_note(const std::string& s) {
  if (s.size() < 2 || s[0] < 'A' || s[0] > 'G') return 0;
  int pitch = kLetterPitch[s[0] - 'A'];
  size_t i = 1;
  if (s[i] == '#') ++pitch, ++i;
  else if (s[i] == 'b') --pitch, ++i;
  if (i + 1 != s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return 0;
  int note = (s[i] - '0') * 12 + pitch + 1;
  return note >= 1 && note <= 96 ? note : 0;
}

struct Quality {
  const char* suffix;
  std::vector<int> tones;
};

const Quality kQualities[] = {
    {"maj7", {0, 4, 7, 11}}, {"m7", {0, 3, 7, 10}}, {"7", {0, 4, 7, 10}},
    {"m", {0, 3, 7}},        {"", {0, 4, 7}},
};

bool parse_chord(const std::string& s, Chord* chord) {
  if (s.empty() || s[0] < 'A' || s[0] > 'G') return false;
  chord->root = kLetterPitch[s[0] - 'A'];
  size_t i = 1;
  if (i < s.size() && (s[i] == '#' || s[i] == 'b')) chord->root += s[i++] == '#' ? 1 : -1;
  chord->root = (chord->root + 12) % 12;
  for (const Quality& q : kQualities)
    if (s.compare(i, std::string::npos, q.suffix) == 0) {
      chord->tones = q.tones;
      return true;
    }
  return false;
}

// The note of a pitch class closest to a reference note (ties go down).
int nearest(int pitch_class, int reference) {
  int note = reference - ((reference - 1 - pitch_class) % 12 + 12) % 12;  // at or below
  return reference - note > 6 ? note + 12 : note;
}

}  // namespace

Score::Score(int channels, int rows) : channels_(channels) {
  pattern_.rows = rows;
  pattern_.cells.resize(size_t(rows) * channels);
}

void Score::fail(const std::string& why) {
  if (error_.empty()) error_ = why;
}

XmCell& Score::cell(int row, int channel) { return pattern_.cells[size_t(row) * channels_ + channel]; }

void Score::play(const Voice& voice, int row, int note) {
  if (row < 0 || row >= pattern_.rows || voice.channel < 0 || voice.channel >= channels_)
    return fail("note outside the pattern");
  XmCell& c = cell(row, voice.channel);
  c.note = static_cast<uint8_t>(note);
  c.instrument = voice.instrument;
  c.volume = volume_column(voice.volume);
}

void Score::release(const Voice& voice, int row) {
  if (row >= pattern_.rows) return;  // the next pattern's first note ends it
  XmCell& c = cell(row, voice.channel);
  if (!c.note) c.note = kNoteOff;
}

void Score::melody(const Voice& voice, const char* text, int octave_shift) {
  std::istringstream in(text);
  std::string token;
  int row = 0, length = 4;
  while (in >> token) {
    if (token == "|") {
      if (row % kRowsPerBar) fail(std::string("bar does not add up before '|' in: ") + text);
      continue;
    }
    size_t colon = token.find(':');
    if (colon != std::string::npos) {
      length = std::atoi(token.c_str() + colon + 1);
      token.resize(colon);
      if (length <= 0) return fail("bad length in: " + token);
    }
    if (token == "-") {
      release(voice, row);
    } else {
      int note = parse_note(token);
      if (!note) return fail("not a note: " + token);
      play(voice, row, note + 12 * octave_shift);
    }
    row += length;
  }
  if (row != pattern_.rows) fail(std::string("melody does not fill the pattern: ") + text);
}

void Score::drums(int channel, const char* grid, const std::vector<DrumSound>& kit) {
  int row = 0;
  for (const char* p = grid; *p; ++p) {
    char c = *p;
    if (c == ' ' || c == '|') continue;
    if (c != '.') {
      const DrumSound* sound = nullptr;
      for (const DrumSound& d : kit)
        if (d.letter == std::tolower(static_cast<unsigned char>(c))) sound = &d;
      if (!sound) return fail(std::string("no drum for '") + c + "'");
      bool accent = std::isupper(static_cast<unsigned char>(c));
      play({channel, sound->instrument, accent ? sound->accent_volume : sound->volume}, row, kNoteC4);
    }
    ++row;
  }
  if (row != pattern_.rows) fail(std::string("drum grid does not fill the pattern: ") + grid);
}

void Score::chords(const char* text) {
  chords_.clear();
  std::istringstream bars(text);
  std::string bar;
  int bar_start = 0;
  while (std::getline(bars, bar, '|')) {
    std::istringstream names(bar);
    std::vector<Chord> in_bar;
    std::string name;
    while (names >> name) {
      Chord c;
      if (!parse_chord(name, &c)) return fail("not a chord: " + name);
      in_bar.push_back(c);
    }
    if (in_bar.empty() || kRowsPerBar % in_bar.size()) return fail(std::string("bad bar in: ") + text);
    int rows = kRowsPerBar / int(in_bar.size());
    for (size_t i = 0; i < in_bar.size(); ++i) {
      in_bar[i].start = bar_start + int(i) * rows;
      in_bar[i].rows = rows;
      chords_.push_back(in_bar[i]);
    }
    bar_start += kRowsPerBar;
  }
  if (bar_start != pattern_.rows) fail(std::string("chords do not fill the pattern: ") + text);
}

void Score::pad(const Voice& upper, const Voice& lower) {
  // The third and the seventh (or fifth) carry a chord's colour; each moves to the nearest note of
  // its next tone, so the pad glides instead of jumping.
  int high = 5 * 12 + 1, low = 4 * 12 + 8;  // around C-5 and G-4
  for (const Chord& c : chords_) {
    int third = (c.root + c.tones[1]) % 12, top = (c.root + c.tones.back()) % 12;
    int next_high = nearest(top, high), next_low = nearest(third, low);
    if (next_low >= next_high) next_low -= 12;
    if (next_high != high || c.start == 0) play(upper, c.start, next_high);
    if (next_low != low || c.start == 0) play(lower, c.start, next_low);
    high = next_high, low = next_low;
  }
}

void Score::bass(const Voice& voice, bool walking) {
  for (const Chord& c : chords_) {
    int root = nearest(c.root, 2 * 12 + 6);  // around F-2
    if (!walking) {
      play(voice, c.start, root);
      continue;
    }
    for (int beat = 0; beat * 4 < c.rows; ++beat) play(voice, c.start + beat * 4, beat % 2 ? root + 7 : root);
  }
}

void Score::arpeggio(const Voice& voice, int octave) {
  for (const Chord& c : chords_) {
    // Up through the chord and its octave, then back down: 0 1 2 3 2 1 0 1 ...
    std::vector<int> notes;
    for (int t : c.tones) notes.push_back(octave * 12 + c.root + t + 1);
    notes.push_back(notes.front() + 12);
    int n = int(notes.size()), period = 2 * (n - 1);
    for (int i = 0; i < c.rows; ++i) {
      int k = i % period;
      play(voice, c.start + i, notes[k < n ? k : period - k]);
    }
  }
}

void Score::effect(int channel, int row, uint8_t effect, uint8_t param) {
  if (row < 0 || row >= pattern_.rows || channel < 0 || channel >= channels_)
    return fail("effect outside the pattern");
  XmCell& c = cell(row, channel);
  if (c.effect || c.param) return fail("two effects in one cell");
  c.effect = effect;
  c.param = param;
}

}  // namespace assets
