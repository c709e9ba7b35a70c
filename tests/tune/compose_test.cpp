// The composing tool's score notation: cells to the format's bytes, the size
// fill and the errors it reports. The rest (row ranges, placements, layout,
// synthesis) is checked by rebuilding the tune byte for byte.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "compose.h"

namespace {

// ctest runs the cases as parallel processes: each writes files of its own.
bool loadScoreText(const std::string& name, const std::string& text, Song& song) {
  const std::string path = ::testing::TempDir() + std::to_string(getpid()) + "_" + name;
  std::ofstream(path, std::ios::binary) << text;
  const bool loaded = loadScore(path, song);
  std::remove(path.c_str());
  return loaded;
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
  if (!loadScoreText("compose_test_score.txt", scoreText, song)) return {};
  std::vector<std::vector<int8_t>> samples;
  for (const InstrumentRecipe& ins : song.instruments) samples.push_back(renderSample(ins));
  return writeModule(song, samples);
}

uint32_t u16At(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }

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

TEST(ComposeScore, ErrorsAreReportedNotWritten) {
  const struct { const char* what; std::string text; } cases[] = {
      {"bad note", songWithPhrase(2, "0 H-4\n")},
      {"volume above 40", songWithPhrase(2, "0 C-4 01 41\n")},
      {"missing instrument", songWithPhrase(2, "0 C-4 02\n")},
      {"unknown phrase", "channels 1\norder 0\npattern 0 x 4\n  ch 1 nothing\nend\n"},
      {"channel beyond the song", "channels 1\norder 0\nphrase p 3\nend\npattern 0 x 4\n  ch 2 p\nend\n"},
      {"order names a missing pattern", "channels 1\norder 1\nphrase p 3\nend\npattern 0 x 4\n  ch 1 p\nend\n"},
      {"envelope ticks not increasing", songWithPhrase(2, "", "instrument e\n length 8\n venv 0,64 0,0\n layer sine\nend\n")},
      {"loop past the sample end", songWithPhrase(2, "", "instrument e\n length 8\n loop forward 4 8\n layer sine\nend\n")},
      {"fill without a size", songWithPhrase(2, "", "instrument e\n length fill\n layer sine\nend\n")},
      {"block left open", "channels 1\norder 0\nphrase p 3\n"},
      {"transposed above B-7", "channels 1\norder 0\nphrase p 1\n0 A-7\nend\npattern 0 x 4\n  ch 1 p+3\nend\n"},
  };
  for (const auto& c : cases) {
    Song song;
    EXPECT_FALSE(loadScoreText("compose_test_bad.txt", c.text, song)) << c.what;
  }
}

TEST(ComposeModule, FillLengthLandsOnTheTargetSize) {
  for (uint32_t size : {1200u, 4096u, 348898u}) {
    const std::string text = "channels 2\nsize " + std::to_string(size) +
                             "\norder 0\ninstrument a\n length 100\n layer sine\nend\n"
                             "instrument b\n length fill\n loop forward 10 end\n layer noise\nend\n"
                             "phrase p 2\n0 C-4 01\nend\npattern 0 x 16\n  ch 1 p\nend\n";
    Song song;
    ASSERT_TRUE(loadScoreText("compose_test_fill.txt", text, song));
    song.instruments[1].length = size - moduleOverhead(song) - 100;
    std::vector<std::vector<int8_t>> samples;
    for (const InstrumentRecipe& ins : song.instruments) samples.push_back(renderSample(ins));
    EXPECT_EQ(writeModule(song, samples).size(), size);
  }
}

}  // namespace
