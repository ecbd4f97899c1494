// In-memory records of an Extended Module (FastTracker 2 "XM", version 0x0104) and the writer that
// turns them into the file's bytes. Only what the asset builder uses is modelled: one sample per
// instrument, volume envelopes, auto-vibrato, linear frequency table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace assets {

// Notes as the pattern stores them: 1 is C-0, 49 is C-4, 96 is B-7; 97 releases the note.
constexpr uint8_t kNoteC4 = 49;
constexpr uint8_t kNoteOff = 97;

// Effects used by the piece (effect column numbers of the format).
constexpr uint8_t kEffectPositionJump = 0x0B;
constexpr uint8_t kEffectSetSpeedTempo = 0x0F;  // parameter < 32 sets ticks per row, else the tempo

// Volume column: 0x10 + v sets the volume v (0..64); 0 leaves it alone.
constexpr uint8_t volume_column(int v) { return static_cast<uint8_t>(0x10 + (v < 0 ? 0 : v > 64 ? 64 : v)); }

struct XmCell {
  uint8_t note = 0;        // 0 none, 1..96 a note, kNoteOff
  uint8_t instrument = 0;  // 0 none, else 1-based
  uint8_t volume = 0;      // volume column byte
  uint8_t effect = 0;
  uint8_t param = 0;
  bool empty() const { return !note && !instrument && !volume && !effect && !param; }
};

struct XmPattern {
  int rows = 64;
  std::vector<XmCell> cells;  // rows x channels, row-major
};

struct XmEnvelopePoint {
  uint16_t tick;   // ticks since the note started
  uint16_t value;  // 0..64
};

enum class XmLoop : uint8_t { None = 0, Forward = 1 };

struct XmInstrument {
  std::string name;                       // at most 22 characters are kept
  std::vector<int16_t> pcm;               // the one sample, 16 bits, mono
  uint32_t loop_start = 0, loop_length = 0;  // in sample frames
  XmLoop loop = XmLoop::None;
  uint8_t volume = 64;                    // 0..64
  int8_t finetune = 0;                    // -128..127, 1/128 semitone
  uint8_t panning = 128;                  // 0 left .. 255 right
  int8_t relative_note = 0;               // semitones added to every note
  std::vector<XmEnvelopePoint> envelope;  // volume envelope, at most 12 points; empty for none
  int sustain_point = -1;                 // envelope point held until note-off, -1 for none
  uint16_t fadeout = 0;                   // volume lost per tick after note-off, of 65536
  uint8_t vibrato_depth = 0, vibrato_rate = 0, vibrato_sweep = 0;  // auto-vibrato, sine
};

struct XmModule {
  std::string name;                        // at most 20 characters are kept
  std::vector<uint8_t> orders;             // pattern numbers in playing order
  uint16_t restart = 0;                    // order the player goes back to after the last one
  int channels = 8;
  uint16_t speed = 6, tempo = 125;         // ticks per row, beats per minute
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
};

// The file's bytes. Returns an empty vector (and sets *error) when a record does not fit the format:
// too many orders, patterns or envelope points, a row count outside 1..256, a loop outside its sample.
std::vector<uint8_t> write_xm(const XmModule& module, std::string* error);

}  // namespace assets
