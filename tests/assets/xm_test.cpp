// The XM writer read back by libxmp, its refusals, and the score text's checks.
#include <gtest/gtest.h>
#include <xmp.h>

#include "assets/score.h"
#include "assets/xm.h"

namespace {

using namespace assets;

XmModule tiny_module() {
  XmModule m;
  m.name = "tiny";
  m.orders = {0, 1, 0};
  m.restart = 1;
  m.channels = 2;
  m.speed = 3;
  m.tempo = 140;
  for (int p = 0; p < 2; ++p) {
    XmPattern pat;
    pat.rows = 16 + p;
    pat.cells.resize(size_t(pat.rows) * m.channels);
    m.patterns.push_back(pat);
  }
  m.patterns[0].cells[0] = {kNoteC4, 1, volume_column(40), 0, 0};
  m.patterns[0].cells[3] = {kNoteOff, 0, 0, kEffectSetSpeedTempo, 0x80};
  m.patterns[1].cells[33] = {96, 1, volume_column(99), kEffectPositionJump, 2};
  XmInstrument in;
  in.name = "ramp";
  for (int i = 0; i < 300; ++i) in.pcm.push_back(int16_t(i * 211 - 30000));  // deltas wrap in 16 bits
  in.loop = XmLoop::Forward;
  in.loop_start = 100;
  in.loop_length = 200;
  in.relative_note = 24;
  in.finetune = -16;
  in.envelope = {{0, 64}, {10, 32}, {20, 0}};
  in.sustain_point = 1;
  m.instruments.push_back(in);
  return m;
}

TEST(XmWriter, LibxmpReadsBackWhatWasWritten) {
  std::string error;
  std::vector<uint8_t> bytes = write_xm(tiny_module(), &error);
  ASSERT_FALSE(bytes.empty()) << error;
  xmp_context ctx = xmp_create_context();
  ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())), 0);
  xmp_module_info info;
  xmp_get_module_info(ctx, &info);
  const xmp_module& m = *info.mod;
  using Ints = std::vector<int>;
  EXPECT_STREQ(m.name, "tiny");
  EXPECT_EQ((Ints{m.len, m.rst, m.chn, m.spd, m.bpm}), (Ints{3, 1, 2, 3, 140}));
  ASSERT_EQ(m.pat, 2 + 1);  // libxmp appends an empty pattern
  EXPECT_EQ(m.xxp[1]->rows, 17);

  // Note, instrument, volume, effect and parameter. libxmp counts notes from C-0 = 13 and keeps the
  // volume column as volume + 1; volumes above 64 are written as 64.
  auto event = [&](int pattern, int channel, int row) {
    const xmp_event& e = m.xxt[m.xxp[pattern]->index[channel]]->event[row];
    return Ints{e.note, e.ins, e.vol, e.fxt, e.fxp};
  };
  EXPECT_EQ(event(0, 0, 0), (Ints{kNoteC4 + 12, 1, 41, 0, 0}));
  EXPECT_EQ(event(0, 1, 1), (Ints{XMP_KEY_OFF, 0, 0, 0x0F, 0x80}));
  EXPECT_EQ(event(1, 1, 16), (Ints{96 + 12, 1, 65, 0x0B, 2}));

  ASSERT_EQ(m.ins, 1);
  const xmp_instrument& ins = m.xxi[0];
  EXPECT_STREQ(ins.name, "ramp");
  // Envelope points, sustain point, the second point, transpose and finetune.
  const xmp_subinstrument& sub = ins.sub[0];
  EXPECT_EQ((Ints{ins.aei.npt, ins.aei.sus, ins.aei.data[2], ins.aei.data[3], sub.xpo, sub.fin}),
            (Ints{3, 1, 10, 32, 24, -16}));
  const xmp_sample& s = m.xxs[sub.sid];
  EXPECT_EQ((Ints{s.len, s.lps, s.lpe}), (Ints{300, 100, 300}));
  ASSERT_TRUE(s.flg & XMP_SAMPLE_16BIT);
  const int16_t* pcm = reinterpret_cast<const int16_t*>(s.data);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(pcm[i], int16_t(i * 211 - 30000)) << i;
  xmp_release_module(ctx);
  xmp_free_context(ctx);
}

TEST(XmWriter, RefusesRecordsTheFormatCannotHold) {
  struct Case {
    const char* what;
    void (*spoil)(XmModule&);
  } cases[] = {
      {"no orders", [](XmModule& m) { m.orders.clear(); }},
      {"order past the patterns", [](XmModule& m) { m.orders[1] = 2; }},
      {"restart past the orders", [](XmModule& m) { m.restart = 3; }},
      {"cells not rows x channels", [](XmModule& m) { m.patterns[0].cells.pop_back(); }},
      {"too many rows", [](XmModule& m) { m.patterns[0].rows = 257; }},
      {"loop past the sample", [](XmModule& m) { m.instruments[0].loop_length = 201; }},
      {"empty loop", [](XmModule& m) { m.instruments[0].loop_length = 0; }},
      {"sustain past the envelope", [](XmModule& m) { m.instruments[0].sustain_point = 3; }},
      {"13 envelope points", [](XmModule& m) { m.instruments[0].envelope.resize(13); }},
  };
  for (const Case& c : cases) {
    XmModule m = tiny_module();
    c.spoil(m);
    std::string error;
    EXPECT_TRUE(write_xm(m, &error).empty()) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
}

TEST(Score, WritesNotesChordsAndDrums) {
  Score s(4, 32);
  s.melody({0, 1, 40}, "C4:4 D#4:2 -:2 Bb3:8 | G5:16", 1);
  s.chords("G7 | Am");
  s.bass({1, 2, 30}, true);
  s.arpeggio({2, 3, 20}, 5);
  s.drums(3, "K..s ....|.... .... k... .... .... ...S", {{'k', 4, 10, 20}, {'s', 5, 11, 21}});
  ASSERT_TRUE(s.ok()) << s.error();
  XmPattern p = s.take();
  auto at = [&](int row, int ch) { return p.cells[size_t(row) * 4 + ch]; };
  EXPECT_EQ(at(0, 0).note, 61);  // C-5: the octave shift applies
  EXPECT_EQ(at(0, 0).volume, volume_column(40));
  EXPECT_EQ(at(4, 0).note, 64);  // D#5
  EXPECT_EQ(at(6, 0).note, kNoteOff);
  EXPECT_EQ(at(8, 0).note, 59);  // Bb4
  EXPECT_EQ(at(16, 0).note, 80);  // G6
  // Walking bass: root and fifth on alternate beats, the root near F-2.
  EXPECT_EQ(at(0, 1).note, 32);   // G-2
  EXPECT_EQ(at(4, 1).note, 39);   // D-3
  EXPECT_EQ(at(16, 1).note, 34);
  // Arpeggio over G7 in octave 5: G B D F G F D B G ...
  const int up_down[] = {68, 72, 75, 78, 80, 78, 75, 72, 68};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(at(i, 2).note, up_down[i]) << i;
  EXPECT_EQ(at(0, 3).instrument, 4);
  EXPECT_EQ(at(0, 3).volume, volume_column(20));
  EXPECT_EQ(at(3, 3).volume, volume_column(11));
  EXPECT_EQ(at(16, 3).volume, volume_column(10));
  EXPECT_EQ(at(31, 3).instrument, 5);
}

TEST(Score, ReportsTextThatDoesNotAddUp) {
  const std::vector<DrumSound> kit = {{'k', 1, 10, 20}};
  struct Case {
    const char* what;
    void (*write)(Score&, const std::vector<DrumSound>&);
  } cases[] = {
      {"bar too short", [](Score& s, const std::vector<DrumSound>&) { s.melody({0, 1, 1}, "C4:15 | C4:17"); }},
      {"melody too long", [](Score& s, const std::vector<DrumSound>&) { s.melody({0, 1, 1}, "C4:16 C4 C4"); }},
      {"not a note", [](Score& s, const std::vector<DrumSound>&) { s.melody({0, 1, 1}, "H4:32"); }},
      {"octave missing", [](Score& s, const std::vector<DrumSound>&) { s.melody({0, 1, 1}, "C:32"); }},
      {"not a chord", [](Score& s, const std::vector<DrumSound>&) { s.chords("G | Xm"); }},
      {"three chords in a bar", [](Score& s, const std::vector<DrumSound>&) { s.chords("G C D | G"); }},
      {"one bar short", [](Score& s, const std::vector<DrumSound>&) { s.chords("G"); }},
      {"unknown drum", [](Score& s, const std::vector<DrumSound>& k) { s.drums(0, "x", k); }},
      {"drums too short", [](Score& s, const std::vector<DrumSound>& k) { s.drums(0, "k...", k); }},
      {"channel outside", [](Score& s, const std::vector<DrumSound>&) { s.melody({9, 1, 1}, "C4:32"); }},
      {"two effects", [](Score& s, const std::vector<DrumSound>&) { s.effect(0, 0, 1, 1), s.effect(0, 0, 2, 2); }},
  };
  for (const Case& c : cases) {
    Score s(2, 32);
    c.write(s, kit);
    EXPECT_FALSE(s.ok()) << c.what;
  }
}

}  // namespace
