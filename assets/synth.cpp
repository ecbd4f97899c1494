// Additive tones with a stationary loop, and noise-based drums. Envelope points count ticks (21.6 ms
// at the piece's tempo). Every sample is normalised to the same peak, so loudness is set in the
// patterns alone.
#include "assets/synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace assets {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRate = 33452.0;   // one-shot rate and the rate at which C-4 plays a 128-frame cycle
constexpr int kCycle = 128;          // frames of one fundamental period
constexpr int8_t kRelativeNote = 24;
constexpr double kPeak = 0.9 * 32767;

// A partial of a tone: frequency as a multiple of the fundamental, its level while the loop plays,
// and an extra level at the strike that dies away within the attack.
struct Partial {
  double ratio;
  double level;
  double strike = 0;
};

// Builds attack_cycles of strike followed by loop_cycles of steady tone. Every ratio times
// loop_cycles must be whole, so the loop joins without a click; the strike part is faded out by a
// raised cosine before the loop begins.
XmInstrument additive(const char* name, const std::vector<Partial>& partials, int attack_cycles,
                      int loop_cycles) {
  XmInstrument in;
  in.name = name;
  int attack = attack_cycles * kCycle, total = attack + loop_cycles * kCycle;
  std::vector<double> wave(total);
  for (int i = 0; i < total; ++i) {
    double phase = 2 * kPi * i / kCycle;
    double strike = i < attack ? 0.5 + 0.5 * std::cos(kPi * i / attack) : 0.0;
    double v = 0;
    for (const Partial& p : partials) v += (p.level + p.strike * strike) * std::sin(phase * p.ratio);
    wave[i] = v;
  }
  double peak = 0;
  for (double v : wave) peak = std::max(peak, std::fabs(v));
  in.pcm.resize(total);
  for (int i = 0; i < total; ++i) in.pcm[i] = static_cast<int16_t>(std::lround(wave[i] / peak * kPeak));
  in.loop = XmLoop::Forward;
  in.loop_start = attack;
  in.loop_length = loop_cycles * kCycle;
  in.relative_note = kRelativeNote;
  return in;
}

// Deterministic white noise in -1..1 (xorshift), the same on every machine.
class Noise {
 public:
  double next() {
    state_ ^= state_ << 13, state_ ^= state_ >> 17, state_ ^= state_ << 5;
    return static_cast<int32_t>(state_) / 2147483648.0;
  }

 private:
  uint32_t state_ = 0x12345678;
};

// A one-shot of the given length, normalised and with a short fade at the end.
XmInstrument one_shot(const char* name, std::vector<double> wave) {
  XmInstrument in;
  in.name = name;
  double peak = 0;
  for (double v : wave) peak = std::max(peak, std::fabs(v));
  size_t tail = std::min<size_t>(wave.size(), 64);
  for (size_t i = 0; i < tail; ++i) wave[wave.size() - 1 - i] *= double(i) / tail;
  in.pcm.resize(wave.size());
  for (size_t i = 0; i < wave.size(); ++i) in.pcm[i] = static_cast<int16_t>(std::lround(wave[i] / peak * kPeak));
  in.relative_note = kRelativeNote;
  return in;
}

std::vector<double> frames(double seconds) { return std::vector<double>(size_t(seconds * kRate)); }

}  // namespace

XmInstrument make_lead() {
  // Odd harmonics falling faster than a square's, a little second harmonic for body.
  XmInstrument in = additive("lead", {{1, 1.0, 0.3}, {2, 0.12}, {3, 0.30, 0.2}, {5, 0.12, 0.1},
                                      {7, 0.05}, {9, 0.02}},
                             8, 1);
  in.envelope = {{0, 0}, {2, 64}, {10, 50}, {40, 44}, {41, 44}};
  in.sustain_point = 4;
  in.fadeout = 2400;
  in.vibrato_depth = 3, in.vibrato_rate = 20, in.vibrato_sweep = 40;
  return in;
}

XmInstrument make_bell() {
  // Glockenspiel partials lie near 1, 2.76 and 5.4 times the fundamental; rounded to quarters so a
  // four-cycle loop holds them. The upper ones only ring in the strike.
  XmInstrument in = additive("bell", {{1, 1.0, 0.2}, {2.75, 0.35, 0.5}, {5.5, 0.0, 0.5}, {8.25, 0.0, 0.25},
                                      {11.75, 0.0, 0.12}},
                             24, 4);
  in.envelope = {{0, 64}, {3, 48}, {12, 28}, {30, 14}, {60, 5}, {100, 0}};
  in.fadeout = 800;
  in.panning = 170;
  return in;
}

XmInstrument make_bass() {
  // A sawtooth rolled off above the fifth harmonic; the strike adds brightness for the pluck.
  std::vector<Partial> partials;
  for (int h = 1; h <= 16; ++h) {
    double saw = 1.0 / h, rolloff = 1.0 / (1.0 + (h / 5.0) * (h / 5.0));
    partials.push_back({double(h), saw * rolloff, saw * 0.8 * (h > 1)});
  }
  XmInstrument in = additive("bass", partials, 12, 1);
  in.envelope = {{0, 64}, {4, 52}, {16, 36}, {40, 28}, {41, 28}};
  in.sustain_point = 4;
  in.fadeout = 4000;
  return in;
}

XmInstrument make_pad() {
  // Three band-limited saws, one in tune and two 1/128 apart, beat slowly against each other: the
  // 128-cycle loop holds exactly 127, 128 and 129 of their periods.
  std::vector<Partial> partials;
  for (int h = 1; h <= 10; ++h) {
    double level = 1.0 / h / (1.0 + h * h / 16.0);
    for (int detune : {-1, 0, 1}) partials.push_back({h * (128.0 + detune) / 128.0, level});
  }
  XmInstrument in = additive("pad", partials, 0, 128);
  in.envelope = {{0, 0}, {12, 40}, {30, 48}, {31, 48}};
  in.sustain_point = 3;
  in.fadeout = 900;
  return in;
}

XmInstrument make_pluck() {
  XmInstrument in = additive("pluck", {{1, 1.0}, {2, 0.2, 0.6}, {3, 0.0, 0.4}, {4, 0.05, 0.3}, {6, 0.0, 0.2}},
                             6, 1);
  in.envelope = {{0, 64}, {2, 40}, {6, 20}, {14, 8}, {30, 0}};
  in.fadeout = 3000;
  in.panning = 80;
  return in;
}

XmInstrument make_kick() {
  std::vector<double> w = frames(0.30);
  double phase = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    double t = i / kRate;
    double hz = 48 + 110 * std::exp(-t / 0.03);  // the fall in pitch is the punch
    phase += 2 * kPi * hz / kRate;
    w[i] = std::sin(phase) * std::exp(-t / 0.11);
  }
  return one_shot("kick", std::move(w));
}

XmInstrument make_snare() {
  std::vector<double> w = frames(0.22);
  Noise noise;
  double low = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    double t = i / kRate, n = noise.next();
    low += 0.35 * (n - low);  // keep the noise's middle: take away a smoothed copy
    double body = std::sin(2 * kPi * 185 * t) * std::exp(-t / 0.045);
    w[i] = 0.8 * (n - low) * std::exp(-t / 0.06) + 0.5 * body;
  }
  return one_shot("snare", std::move(w));
}

XmInstrument make_hihat() {
  std::vector<double> w = frames(0.08);
  Noise noise;
  double previous = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    double n = noise.next();
    w[i] = (n - previous) * std::exp(-(i / kRate) / 0.018);  // a difference keeps only the hiss
    previous = n;
  }
  XmInstrument in = one_shot("hihat", std::move(w));
  in.panning = 150;
  return in;
}

XmInstrument make_jingle() {
  // A handful of small bells at unrelated pitches, shaken twice: two bursts 40 ms apart.
  const double pitches[] = {4120, 5310, 6070, 7230, 8410};
  std::vector<double> w = frames(0.28);
  Noise noise;
  double previous = 0;
  for (size_t i = 0; i < w.size(); ++i) {
    double t = i / kRate, v = 0;
    for (double hz : pitches) v += std::sin(2 * kPi * hz * t);
    double shake = std::exp(-t / 0.05) + 0.6 * (t > 0.04 ? std::exp(-(t - 0.04) / 0.07) : 0);
    double n = noise.next();
    w[i] = (0.15 * v + 0.6 * (n - previous)) * shake;
    previous = n;
  }
  XmInstrument in = one_shot("jingle", std::move(w));
  in.panning = 110;
  return in;
}

}  // namespace assets
