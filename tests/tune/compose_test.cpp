// The composing tool: score notation to module bytes, the module's packing
// and layout, and the synthesis of samples. Expected bytes follow from the XM
// format's rules (note numbers, volume-column codes, the packing mask).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "compose.h"

namespace {

// ctest runs the cases as parallel processes: each writes files of its own.
std::string writeScore(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + std::to_string(getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

const char* const OneSine =
    "instrument tone\n"
    "  length 64\n"
    "  peak 1\n"
    "  layer sine freq 261.34375\n"  // 8363 / 32: one cycle every 32 frames at rel 0
    "end\n";

// One channel, one pattern made of the given phrase body (rows lines).
std::string songWithPhrase(int rows, const std::string& body, const std::string& extra = "") {
  return "channels 1\norder 0\n" + std::string(OneSine) + "phrase p " + std::to_string(rows) + "\n" + body + "end\n" + extra +
         "pattern 0 only " + std::to_string(rows) + "\n  ch 1 p\nend\n";
}

std::vector<uint8_t> compose(const std::string& scoreText, Song& song) {
  if (!loadScore(writeScore("compose_test_score.txt", scoreText), song)) return {};
  std::vector<std::vector<int8_t>> samples;
  for (const InstrumentRecipe& ins : song.instruments) samples.push_back(renderSample(ins));
  return writeModule(song, samples);
}

uint32_t u16At(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }

// A one-layer recipe of the given wave at a steady frequency.
InstrumentRecipe oneLayer(WaveKind wave, double hz, uint32_t length) {
  InstrumentRecipe r;
  r.length = length;
  Layer layer;
  layer.wave = wave;
  layer.freqStart = layer.freqEnd = hz;
  r.layers.push_back(layer);
  return r;
}

constexpr size_t FirstPatternData = 336 + 9;

TEST(ComposeScore, CellNotationPacksToTheFormatsBytes) {
  const struct { const char* cell; std::vector<uint8_t> packed; } cases[] = {
      {"C-4 01 40 A0F", {49, 1, 0x50, 10, 0x0F}},  // all five fields: no mask byte
      {"...", {0x80}},           {"=== .. .. ...", {0x81, 97}},   {"C-0", {0x81, 1}},
      {"B-7", {0x81, 96}},       {"F#2 .. .. E92", {0x99, 31, 14, 0x92}},
      {"... .. 00", {0x84, 0x10}}, {"... .. -3", {0x84, 0x63}}, {"... .. +f", {0x84, 0x7F}},
      {"... .. d2", {0x84, 0x82}}, {"... .. u2", {0x84, 0x92}}, {"... .. s3", {0x84, 0xA3}},
      {"... .. v4", {0x84, 0xB4}}, {"... .. pC", {0x84, 0xCC}}, {"... .. l5", {0x84, 0xD5}},
      {"... .. r6", {0x84, 0xE6}}, {"... .. m1", {0x84, 0xF1}},
      {"... .. .. B01", {0x98, 11, 1}}, {"... .. .. 0C0", {0x90, 0xC0}}, {"... .. .. Z00", {0x88, 35}},
      {"A#3 01", {0x83, 47, 1}},
  };
  std::string body;
  int row = 0;
  for (const auto& c : cases) body += std::to_string(row++) + " " + c.cell + "\n";
  Song song;
  const std::vector<uint8_t> bytes = compose(songWithPhrase(row, body), song);
  ASSERT_FALSE(bytes.empty());
  size_t at = FirstPatternData;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cell);
    ASSERT_LE(at + c.packed.size(), bytes.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at + c.packed.size())), c.packed);
    at += c.packed.size();
  }
  EXPECT_EQ(u16At(bytes, 336 + 7), at - FirstPatternData) << "packed size in the pattern header";
}

TEST(ComposeScore, RowRangesFillEveryStepAndLaterLinesOverride) {
  Song song;
  ASSERT_FALSE(compose(songWithPhrase(8, "0-6:2 C-4 01\n4 D-4\n"), song).empty());
  const uint8_t expected[8] = {49, 0, 49, 0, 51, 0, 49, 0};
  for (int r = 0; r < 8; ++r) EXPECT_EQ(song.patterns[0].cells[size_t(r)].note, expected[r]) << "row " << r;
  EXPECT_EQ(song.patterns[0].cells[4].instrument, 0) << "the override replaces the whole cell";
}

TEST(ComposeScore, PlacementsTransposeScaleAndRepeat) {
  const std::string text = std::string("channels 2\norder 0\n") + OneSine +
                           "phrase two 2\n0 C-4 01 20\n1 D-4 01\nend\n"
                           "phrase off 1\n0 ===\nend\n"
                           "pattern 0 p 6\n  ch 1 two+12%50*2 off-5\n  ch 2 rest*3 two-13\nend\n";
  Song song;
  ASSERT_FALSE(compose(text, song).empty());
  const auto& cells = song.patterns[0].cells;
  const struct { int row, channel, note, volume; } expect[] = {
      {0, 0, 61, 0x20},  // C-5; 0x20 at 50 % is 16, column byte 0x10 + 16
      {1, 0, 63, 0x30},  // D-5; the instrument's 64 at 50 % is 32
      {2, 0, 61, 0x20}, {3, 0, 63, 0x30}, {4, 0, 97, 0},  // key off is not transposed
      {5, 0, 0, 0},      {3, 1, 36, 0x30},  // B-2 with its own volume
      {4, 1, 38, 0},     {0, 1, 0, 0},
  };
  for (const auto& e : expect) {
    SCOPED_TRACE("row " + std::to_string(e.row) + " channel " + std::to_string(e.channel));
    const Cell& c = cells[size_t(e.row * 2 + e.channel)];
    EXPECT_EQ(c.note, e.note);
    EXPECT_EQ(c.volume, e.volume);
  }
}

TEST(ComposeScore, ErrorsAreReportedNotWritten) {
  const struct { const char* what; std::string text; } cases[] = {
      {"bad note", songWithPhrase(2, "0 H-4\n")},
      {"row beyond the phrase", songWithPhrase(2, "2 C-4\n")},
      {"volume above 40", songWithPhrase(2, "0 C-4 01 41\n")},
      {"missing instrument", songWithPhrase(2, "0 C-4 02\n")},
      {"unknown phrase", "channels 1\norder 0\npattern 0 x 4\n  ch 1 nothing\nend\n"},
      {"phrase past the pattern end", "channels 1\norder 0\nphrase p 3\nend\npattern 0 x 4\n  ch 1 p*2\nend\n"},
      {"channel beyond the song", "channels 1\norder 0\nphrase p 3\nend\npattern 0 x 4\n  ch 2 p\nend\n"},
      {"order names a missing pattern", "channels 1\norder 1\nphrase p 3\nend\npattern 0 x 4\n  ch 1 p\nend\n"},
      {"restart beyond the order", "channels 1\norder 0\nrestart 1\nphrase p 3\nend\npattern 0 x 4\n  ch 1 p\nend\n"},
      {"envelope ticks not increasing", songWithPhrase(2, "", "instrument e\n length 8\n venv 0,64 0,0\n layer sine\nend\n")},
      {"envelope sustain beyond its points", songWithPhrase(2, "", "instrument e\n length 8\n venv 0,64 4,0 sustain 2\n layer sine\nend\n")},
      {"loop past the sample end", songWithPhrase(2, "", "instrument e\n length 8\n loop forward 4 8\n layer sine\nend\n")},
      {"fill without a size", songWithPhrase(2, "", "instrument e\n length fill\n layer sine\nend\n")},
      {"block left open", "channels 1\norder 0\nphrase p 3\n"},
      {"transposed above B-7", "channels 1\norder 0\nphrase p 1\n0 A-7\nend\npattern 0 x 4\n  ch 1 p+3\nend\n"},
      {"transposed below C-0", "channels 1\norder 0\nphrase p 1\n0 C-0\nend\npattern 0 x 4\n  ch 1 p-1\nend\n"},
  };
  for (const auto& c : cases) {
    Song song;
    EXPECT_FALSE(loadScore(writeScore("compose_test_bad.txt", c.text), song)) << c.what;
  }
}

TEST(ComposeModule, HeaderInstrumentAndSampleFieldsLandAtTheirOffsets) {
  const std::string text = "title \"Test Song\"\nchannels 3\nspeed 4\ntempo 125\nfrequencies linear\norder 0 0\nrestart 1\n"
                           "instrument lead\n  rel 12\n  fine -8\n  volume 48\n  pan 200\n  length 100\n"
                           "  loop pingpong 10 end\n  venv 0,64 8,32 20,0 sustain 1 loop 0 1\n  fadeout 300\n"
                           "  autovibrato 1 20 6 9\n  layer saw\nend\n"
                           "phrase p 4\nend\npattern 0 only 4\n  ch 1 p\nend\n";
  Song song;
  const std::vector<uint8_t> b = compose(text, song);
  ASSERT_FALSE(b.empty());
  EXPECT_EQ(std::string(b.begin(), b.begin() + 37), "Extended Module: Test Song           ");
  const size_t pattern = 336, ins = pattern + 9 + 12, sample = ins + 263;
  const struct { const char* what; size_t offset, width; uint32_t value; } fields[] = {
      {"end of file", 37, 1, 0x1A}, {"header size", 60, 4, 276}, {"song length", 64, 2, 2}, {"restart", 66, 2, 1},
      {"channels", 68, 2, 3}, {"patterns", 70, 2, 1}, {"instruments", 72, 2, 1}, {"linear", 74, 2, 1},
      {"speed", 76, 2, 4}, {"tempo", 78, 2, 125},
      {"pattern header", pattern, 4, 9}, {"rows", pattern + 5, 2, 4},
      {"packed size: 4 rows x 3 empty cells, a mask byte each", pattern + 7, 2, 12},
      {"instrument size", ins, 4, 263}, {"samples", ins + 27, 2, 1}, {"sample header size", ins + 29, 4, 40},
      {"envelope point 1", ins + 129 + 4, 2, 8}, {"", ins + 129 + 6, 2, 32}, {"envelope point 2", ins + 129 + 8, 2, 20},
      {"volume points", ins + 225, 1, 3}, {"panning points", ins + 226, 1, 0}, {"sustain", ins + 227, 1, 1},
      {"loop start", ins + 228, 1, 0}, {"loop end", ins + 229, 1, 1}, {"volume flags", ins + 233, 1, 7},
      {"panning flags", ins + 234, 1, 0}, {"vibrato type", ins + 235, 1, 1}, {"sweep", ins + 236, 1, 20},
      {"depth", ins + 237, 1, 6}, {"rate", ins + 238, 1, 9}, {"fade-out", ins + 239, 2, 300},
      {"sample length", sample, 4, 100}, {"loop start", sample + 4, 4, 10},
      {"'end' loops to the last frame", sample + 8, 4, 90}, {"volume", sample + 12, 1, 48},
      {"finetune", sample + 13, 1, 0xF8}, {"type", sample + 14, 1, 2}, {"pan", sample + 15, 1, 200},
      {"relative note", sample + 16, 1, 12}, {"reserved", sample + 17, 1, 0},
  };
  for (const auto& f : fields) {
    uint32_t got = 0;
    for (size_t i = f.width; i-- > 0;) got = got << 8 | b[f.offset + i];
    EXPECT_EQ(got, f.value) << f.what << " at " << f.offset;
  }
  EXPECT_EQ(b.size(), sample + 40 + 100);
}

TEST(ComposeModule, FillLengthLandsOnTheTargetSize) {
  for (uint32_t size : {1200u, 4096u, 348898u}) {
    const std::string text = "channels 2\nsize " + std::to_string(size) +
                             "\norder 0\ninstrument a\n length 100\n layer sine\nend\n"
                             "instrument b\n length fill\n loop forward 10 end\n layer noise\nend\n"
                             "phrase p 2\n0 C-4 01\nend\npattern 0 x 16\n  ch 1 p\nend\n";
    Song song;
    ASSERT_TRUE(loadScore(writeScore("compose_test_fill.txt", text), song));
    song.instruments[1].length = size - moduleOverhead(song) - 100;
    std::vector<std::vector<int8_t>> samples;
    for (const InstrumentRecipe& ins : song.instruments) samples.push_back(renderSample(ins));
    EXPECT_EQ(writeModule(song, samples).size(), size);
  }
}

TEST(ComposeSynth, SineIsInTuneAndDeltaCoded) {
  Song song;
  const std::vector<uint8_t> b = compose(songWithPhrase(1, ""), song);
  ASSERT_FALSE(b.empty());
  // Frame k of the sample is 127 sin(2 pi k / 32), rounded.
  const struct { int frame, value; } frames[] = {{0, 0}, {1, 25}, {2, 49}, {4, 90}, {8, 127}, {16, 0}, {24, -127}, {32, 0}, {40, 127}};
  const size_t data = 336 + 9 + 1 + 263 + 40;
  ASSERT_EQ(b.size(), data + 64);
  std::vector<int> decoded{0};
  for (size_t i = data; i < b.size(); ++i) decoded.push_back(int8_t(uint8_t(decoded.back() + b[i])));
  decoded.erase(decoded.begin());
  for (const auto& f : frames) EXPECT_EQ(decoded[size_t(f.frame)], f.value) << "frame " << f.frame;
}

TEST(ComposeSynth, CrossfadedLoopJoinsSmoothly) {
  InstrumentRecipe r = oneLayer(WaveSaw, 300, 4000);
  r.loopType = 1;
  r.loopStart = 1000;
  r.loopLength = 2777;  // not a whole number of cycles
  r.crossfade = 600;
  const std::vector<int8_t> d = renderSample(r);
  // Playing on from the loop's end continues as the frames before its start did.
  EXPECT_LE(std::abs(d[1000 + 2777 - 1] - d[999]), 2);
  r.crossfade = 0;
  const std::vector<int8_t> raw = renderSample(r);
  EXPECT_GT(std::abs(raw[1000 + 2777 - 1] - raw[999]), 20) << "without the blend the loop clicks";
}

TEST(ComposeSynth, OneShotSamplesFadeToSilenceLoopedOnesKeepTheirEnd) {
  InstrumentRecipe r = oneLayer(WaveSquare, 500, 4000);
  const std::vector<int8_t> oneShot = renderSample(r);
  EXPECT_EQ(oneShot.back(), 0);
  EXPECT_GT(std::abs(int(oneShot[4000 - 600])), 100) << "full level before the last 512 frames";
  r.loopType = 1;
  r.loopStart = 0;
  r.loopLength = 4000;
  const std::vector<int8_t> looped = renderSample(r);
  int loudest = 0;
  for (size_t i = 4000 - 64; i < 4000; ++i) loudest = std::max(loudest, std::abs(int(looped[i])));
  EXPECT_GT(loudest, 100);
}

TEST(ComposeSynth, NoiseFollowsItsSeed) {
  InstrumentRecipe r = oneLayer(WaveNoise, 440, 256);
  r.seed = 5;
  const std::vector<int8_t> a = renderSample(r), again = renderSample(r);
  r.seed = 6;
  const std::vector<int8_t> other = renderSample(r);
  EXPECT_EQ(a, again);
  EXPECT_NE(a, other);
}

}  // namespace
