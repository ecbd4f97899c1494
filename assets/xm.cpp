// Writes an Extended Module. Layout of the file (all numbers little-endian):
//
//   header     "Extended Module: " name[20] 0x1A tracker[20] version:u16=0x0104 size:u32=276
//              song_length:u16 restart:u16 channels:u16 patterns:u16 instruments:u16 flags:u16
//              speed:u16 tempo:u16 orders[256]                       (size counts from its own field)
//   pattern    header_size:u32=9 packing:u8=0 rows:u16 packed_size:u16, then the packed cells
//   instrument size:u32=263 name[22] type:u8=0 samples:u16=1 sample_header_size:u32=40
//              keymap[96] volume_envelope[12](x:u16,y:u16) panning_envelope[12] volume_points:u8
//              panning_points:u8 volume_sustain:u8 volume_loop_start:u8 volume_loop_end:u8
//              panning_sustain/loop_start/loop_end:u8[3] volume_type:u8 panning_type:u8
//              vibrato_type:u8 vibrato_sweep:u8 vibrato_depth:u8 vibrato_rate:u8 fadeout:u16
//              reserved[22]
//   sample     length:u32 loop_start:u32 loop_length:u32 (bytes) volume:u8 finetune:s8 type:u8
//              panning:u8 relative_note:s8 reserved:u8 name[22], then the data as deltas
#include "assets/xm.h"

#include <algorithm>
#include <cstring>

namespace assets {
namespace {

constexpr uint32_t kHeaderSize = 276;          // from the size field to the end of the order table
constexpr uint32_t kPatternHeaderSize = 9;
constexpr uint32_t kInstrumentHeaderSize = 263;
constexpr uint32_t kSampleHeaderSize = 40;
constexpr int kMaxOrders = 256;
constexpr int kMaxEnvelopePoints = 12;
constexpr uint16_t kFlagLinearFrequencies = 1;
constexpr uint8_t kSample16Bit = 0x10;
constexpr uint8_t kEnvelopeOn = 1, kEnvelopeSustain = 2;

// Pattern packing: a first byte with the top bit set says which of the five fields follow.
constexpr uint8_t kPacked = 0x80, kHasNote = 0x01, kHasInstrument = 0x02, kHasVolume = 0x04,
                  kHasEffect = 0x08, kHasParam = 0x10;

class Writer {
 public:
  void u8(uint8_t v) { bytes_.push_back(v); }
  void u16(uint16_t v) { u8(v & 0xFF), u8(v >> 8); }
  void u32(uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); }
  void text(const std::string& s, size_t width) {  // padded with zeros, cut to the width
    for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
  }
  void zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
  size_t size() const { return bytes_.size(); }
  void patch_u16(size_t at, uint16_t v) { bytes_[at] = v & 0xFF, bytes_[at + 1] = v >> 8; }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

bool fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

bool check(const XmModule& m, std::string* error) {
  if (m.orders.empty() || m.orders.size() > kMaxOrders) return fail(error, "order list needs 1..256 entries");
  if (m.restart >= m.orders.size()) return fail(error, "restart position past the order list");
  if (m.channels < 1 || m.channels > 32) return fail(error, "channel count outside 1..32");
  if (m.patterns.empty() || m.patterns.size() > 256) return fail(error, "pattern count outside 1..256");
  if (m.instruments.size() > 128) return fail(error, "more than 128 instruments");
  for (uint8_t o : m.orders)
    if (o >= m.patterns.size()) return fail(error, "order names a missing pattern");
  for (const XmPattern& p : m.patterns)
    if (p.rows < 1 || p.rows > 256 || p.cells.size() != size_t(p.rows) * m.channels)
      return fail(error, "pattern rows outside 1..256 or cells not rows x channels");
  for (const XmInstrument& in : m.instruments) {
    if (in.envelope.size() > kMaxEnvelopePoints) return fail(error, in.name + ": too many envelope points");
    if (in.sustain_point >= int(in.envelope.size())) return fail(error, in.name + ": sustain past the envelope");
    if (in.loop != XmLoop::None &&
        (in.loop_length == 0 || in.loop_start + uint64_t(in.loop_length) > in.pcm.size()))
      return fail(error, in.name + ": loop outside the sample");
    if (in.pcm.size() > 0x3FFFFFFF) return fail(error, in.name + ": sample too long");
  }
  return true;
}

void write_pattern(Writer& w, const XmPattern& p) {
  w.u32(kPatternHeaderSize);
  w.u8(0);
  w.u16(static_cast<uint16_t>(p.rows));
  size_t size_at = w.size();
  w.u16(0);
  size_t start = w.size();
  for (const XmCell& c : p.cells) {
    uint8_t what = kPacked | (c.note ? kHasNote : 0) | (c.instrument ? kHasInstrument : 0) |
                   (c.volume ? kHasVolume : 0) | (c.effect ? kHasEffect : 0) | (c.param ? kHasParam : 0);
    w.u8(what);
    if (c.note) w.u8(c.note);
    if (c.instrument) w.u8(c.instrument);
    if (c.volume) w.u8(c.volume);
    if (c.effect) w.u8(c.effect);
    if (c.param) w.u8(c.param);
  }
  size_t packed = w.size() - start;
  w.patch_u16(size_at, static_cast<uint16_t>(packed));
}

void write_instrument(Writer& w, const XmInstrument& in) {
  w.u32(kInstrumentHeaderSize);
  w.text(in.name, 22);
  w.u8(0);
  w.u16(1);
  w.u32(kSampleHeaderSize);
  w.zeros(96);  // every note plays sample 0
  for (int i = 0; i < kMaxEnvelopePoints; ++i) {
    XmEnvelopePoint pt = i < int(in.envelope.size()) ? in.envelope[i] : XmEnvelopePoint{0, 0};
    w.u16(pt.tick), w.u16(pt.value);
  }
  w.zeros(48);  // no panning envelope
  w.u8(static_cast<uint8_t>(in.envelope.size()));
  w.u8(0);
  w.u8(static_cast<uint8_t>(std::max(in.sustain_point, 0)));
  w.u8(0), w.u8(0);  // no envelope loop
  w.u8(0), w.u8(0), w.u8(0);
  w.u8(in.envelope.empty() ? 0 : kEnvelopeOn | (in.sustain_point >= 0 ? kEnvelopeSustain : 0));
  w.u8(0);
  w.u8(0);  // vibrato waveform: sine
  w.u8(in.vibrato_sweep), w.u8(in.vibrato_depth), w.u8(in.vibrato_rate);
  w.u16(in.fadeout);
  w.zeros(22);

  uint32_t bytes_per_frame = 2;
  w.u32(static_cast<uint32_t>(in.pcm.size()) * bytes_per_frame);
  w.u32(in.loop == XmLoop::None ? 0 : in.loop_start * bytes_per_frame);
  w.u32(in.loop == XmLoop::None ? 0 : in.loop_length * bytes_per_frame);
  w.u8(in.volume);
  w.u8(static_cast<uint8_t>(in.finetune));
  w.u8(static_cast<uint8_t>(in.loop) | kSample16Bit);
  w.u8(in.panning);
  w.u8(static_cast<uint8_t>(in.relative_note));
  w.u8(0);
  w.text(in.name, 22);
  // Sample data is stored as differences from the previous value, wrapping in 16 bits.
  int16_t previous = 0;
  for (int16_t v : in.pcm) {
    w.u16(static_cast<uint16_t>(static_cast<uint16_t>(v) - static_cast<uint16_t>(previous)));
    previous = v;
  }
}

}  // namespace

std::vector<uint8_t> write_xm(const XmModule& m, std::string* error) {
  if (!check(m, error)) return {};
  Writer w;
  w.text("Extended Module: ", 17);
  w.text(m.name, 20);
  w.u8(0x1A);
  w.text("vekassets", 20);
  w.u16(0x0104);
  w.u32(kHeaderSize);
  w.u16(static_cast<uint16_t>(m.orders.size()));
  w.u16(m.restart);
  w.u16(static_cast<uint16_t>(m.channels));
  w.u16(static_cast<uint16_t>(m.patterns.size()));
  w.u16(static_cast<uint16_t>(m.instruments.size()));
  w.u16(kFlagLinearFrequencies);
  w.u16(m.speed);
  w.u16(m.tempo);
  for (int i = 0; i < kMaxOrders; ++i) w.u8(i < int(m.orders.size()) ? m.orders[i] : 0);
  static_assert(17 + 20 + 1 + 20 + 2 + kHeaderSize == 336, "header ends where the patterns begin");

  for (const XmPattern& p : m.patterns) write_pattern(w, p);
  for (const XmInstrument& in : m.instruments) write_instrument(w, in);
  return w.take();
}

}  // namespace assets
