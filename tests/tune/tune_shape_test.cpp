// Shape of the committed tune: read with a small bounded reader of its own,
// independent of the composing tool and of the player's loader.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr size_t TuneSize = 348898;

std::vector<uint8_t> readTune() {
  std::vector<uint8_t> bytes;
  std::FILE* f = std::fopen(TUNE_MODULE_PATH, "rb");
  if (!f) return bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

// Reads little-endian fields; past the end it yields 0 and remembers the overrun.
struct Cursor {
  const std::vector<uint8_t>& bytes;
  size_t pos = 0;
  bool overrun = false;
  uint32_t u8() {
    if (pos >= bytes.size()) {
      overrun = true;
      return 0;
    }
    return bytes[pos++];
  }
  uint32_t u16() {
    const uint32_t lo = u8();
    return lo | u8() << 8;
  }
  uint32_t u32() {
    const uint32_t lo = u16();
    return lo | u16() << 16;
  }
  void skip(size_t n) {
    if (n > bytes.size() - pos) {
      overrun = true;
      pos = bytes.size();
    } else {
      pos += n;
    }
  }
};

struct Cell {
  uint8_t note, instrument, volume, effect, param;
};

struct Envelope {
  uint16_t x[12], y[12];
  uint8_t count, sustain, loopStart, loopEnd, flags;
};

struct Instrument {
  uint32_t sampleCount = 0;
  Envelope volume{}, panning{};
  uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
  uint16_t fadeout = 0;
  uint32_t length = 0, loopStart = 0, loopLength = 0;
  uint8_t sampleVolume = 0, type = 0, packing = 0;
};

struct Tune {
  std::string signature, title;
  uint32_t headerSize = 0, songLength = 0, restart = 0, channels = 0, patternCount = 0, instrumentCount = 0;
  uint32_t flags = 0, speed = 0, tempo = 0;
  uint8_t order[256] = {};
  std::vector<std::vector<Cell>> patterns;  // rows x channels
  std::vector<uint32_t> rows;
  std::vector<Instrument> instruments;
  size_t endOfData = 0;
  bool overrun = false;
};

Envelope readEnvelope(Cursor& c) {
  Envelope e{};
  for (int i = 0; i < 12; ++i) {
    e.x[i] = uint16_t(c.u16());
    e.y[i] = uint16_t(c.u16());
  }
  return e;
}

Tune parseTune(const std::vector<uint8_t>& bytes) {
  Tune t;
  Cursor c{bytes};
  for (int i = 0; i < 17; ++i) t.signature += char(c.u8());
  for (int i = 0; i < 20; ++i) t.title += char(c.u8());
  c.skip(1 + 20 + 2);
  t.headerSize = c.u32();
  t.songLength = c.u16();
  t.restart = c.u16();
  t.channels = c.u16();
  t.patternCount = c.u16();
  t.instrumentCount = c.u16();
  t.flags = c.u16();
  t.speed = c.u16();
  t.tempo = c.u16();
  for (uint8_t& o : t.order) o = uint8_t(c.u8());
  c.pos = 60 + t.headerSize;

  for (uint32_t p = 0; p < t.patternCount && !c.overrun; ++p) {
    const size_t headerStart = c.pos;
    const uint32_t headerLength = c.u32();
    c.u8();
    const uint32_t rows = c.u16();
    const uint32_t packedSize = c.u16();
    const size_t dataStart = headerStart + headerLength;
    c.pos = dataStart;
    std::vector<Cell> cells;
    while (c.pos < dataStart + packedSize && !c.overrun) {
      Cell cell{};
      const uint32_t first = c.u8();
      if (first & 0x80) {
        if (first & 1) cell.note = uint8_t(c.u8());
        if (first & 2) cell.instrument = uint8_t(c.u8());
        if (first & 4) cell.volume = uint8_t(c.u8());
        if (first & 8) cell.effect = uint8_t(c.u8());
        if (first & 16) cell.param = uint8_t(c.u8());
      } else {
        cell = Cell{uint8_t(first), uint8_t(c.u8()), uint8_t(c.u8()), uint8_t(c.u8()), uint8_t(c.u8())};
      }
      cells.push_back(cell);
    }
    if (c.pos != dataStart + packedSize || cells.size() != size_t(rows) * t.channels) c.overrun = true;
    t.patterns.push_back(cells);
    t.rows.push_back(rows);
  }

  for (uint32_t i = 0; i < t.instrumentCount && !c.overrun; ++i) {
    Instrument ins;
    const size_t start = c.pos;
    const uint32_t headerSize = c.u32();
    c.skip(22 + 1);
    ins.sampleCount = c.u16();
    c.u32();
    c.skip(96);
    ins.volume = readEnvelope(c);
    ins.panning = readEnvelope(c);
    ins.volume.count = uint8_t(c.u8());
    ins.panning.count = uint8_t(c.u8());
    ins.volume.sustain = uint8_t(c.u8());
    ins.volume.loopStart = uint8_t(c.u8());
    ins.volume.loopEnd = uint8_t(c.u8());
    ins.panning.sustain = uint8_t(c.u8());
    ins.panning.loopStart = uint8_t(c.u8());
    ins.panning.loopEnd = uint8_t(c.u8());
    ins.volume.flags = uint8_t(c.u8());
    ins.panning.flags = uint8_t(c.u8());
    ins.vibratoType = uint8_t(c.u8());
    ins.vibratoSweep = uint8_t(c.u8());
    ins.vibratoDepth = uint8_t(c.u8());
    ins.vibratoRate = uint8_t(c.u8());
    ins.fadeout = uint16_t(c.u16());
    c.pos = start + headerSize;
    if (ins.sampleCount == 1) {
      ins.length = c.u32();
      ins.loopStart = c.u32();
      ins.loopLength = c.u32();
      ins.sampleVolume = uint8_t(c.u8());
      c.u8();
      ins.type = uint8_t(c.u8());
      c.u8();
      c.u8();
      ins.packing = uint8_t(c.u8());
      c.skip(22);
      c.skip(ins.length);
    }
    t.instruments.push_back(ins);
  }
  t.endOfData = c.pos;
  t.overrun = c.overrun;
  return t;
}

class TuneShape : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bytes = new std::vector<uint8_t>(readTune());
    tune = new Tune(parseTune(*bytes));
  }
  static void TearDownTestSuite() {
    delete tune;
    delete bytes;
  }
  static std::vector<uint8_t>* bytes;
  static Tune* tune;
};
std::vector<uint8_t>* TuneShape::bytes = nullptr;
Tune* TuneShape::tune = nullptr;

TEST_F(TuneShape, HeaderHasTheEmbeddedTunesShape) {
  ASSERT_EQ(bytes->size(), TuneSize);
  const Tune& t = *tune;
  EXPECT_EQ(t.signature, "Extended Module: ");
  EXPECT_NE(t.title.find_first_not_of(std::string(" \0", 2)), std::string::npos) << "the title is empty";
  const struct {
    const char* field;
    uint32_t value, expected;
  } fields[] = {
      {"header size", t.headerSize, 276}, {"channels", t.channels, 16}, {"patterns", t.patternCount, 7},
      {"instruments", t.instrumentCount, 11}, {"linear frequency flag", t.flags & 1, 1},
      {"default speed", t.speed, 4},       {"default tempo", t.tempo, 125},
  };
  for (const auto& f : fields) EXPECT_EQ(f.value, f.expected) << f.field;
}

TEST_F(TuneShape, StructureEndsExactlyAtTheLastSampleByte) {
  EXPECT_FALSE(tune->overrun);
  EXPECT_EQ(tune->endOfData, bytes->size());
  ASSERT_EQ(tune->patterns.size(), 7u);
  for (uint32_t r : tune->rows) {
    EXPECT_GE(r, 1u);
    EXPECT_LE(r, 256u);
  }
}

TEST_F(TuneShape, OrderListNamesOnlyExistingPatterns) {
  const Tune& t = *tune;
  ASSERT_GE(t.songLength, 1u);
  ASSERT_LE(t.songLength, 256u);
  EXPECT_LT(t.restart, t.songLength);
  std::set<int> used;
  for (uint32_t i = 0; i < t.songLength; ++i) {
    EXPECT_LT(t.order[i], t.patternCount) << "order position " << i;
    used.insert(t.order[i]);
  }
  EXPECT_EQ(used.size(), 7u) << "every pattern is played";
}

TEST_F(TuneShape, EveryInstrumentHasOneEightBitUnpackedSampleWithSaneLoop) {
  for (size_t i = 0; i < tune->instruments.size(); ++i) {
    const Instrument& ins = tune->instruments[i];
    SCOPED_TRACE("instrument " + std::to_string(i + 1));
    EXPECT_EQ(ins.sampleCount, 1u);
    EXPECT_EQ(ins.type & 0x10, 0) << "16-bit sample";
    EXPECT_NE(ins.packing, 0xAD) << "packed sample";
    EXPECT_GT(ins.length, 0u);
    EXPECT_LE(ins.sampleVolume, 64);
    if ((ins.type & 3) != 0) {
      EXPECT_GT(ins.loopLength, 1u);
      EXPECT_LE(uint64_t(ins.loopStart) + ins.loopLength, ins.length);
    }
    for (const Envelope* e : {&ins.volume, &ins.panning}) {
      if (!(e->flags & 1)) continue;
      ASSERT_GE(e->count, 2);
      ASSERT_LE(e->count, 12);
      for (int p = 1; p < e->count; ++p) EXPECT_GT(e->x[p], e->x[p - 1]);
      for (int p = 0; p < e->count; ++p) EXPECT_LE(e->y[p], 64);
      if (e->flags & 2) {
        EXPECT_LT(e->sustain, e->count);
      }
      if (e->flags & 4) {
        EXPECT_LE(e->loopStart, e->loopEnd);
        EXPECT_LT(e->loopEnd, e->count);
      }
    }
  }
}

TEST_F(TuneShape, InstrumentsUseLoopsEnvelopesFadeoutAndAutoVibrato) {
  int forward = 0, pingPong = 0, sustain = 0, volumeLoop = 0, panning = 0, fading = 0, vibrato = 0;
  for (const Instrument& ins : tune->instruments) {
    forward += (ins.type & 3) == 1;
    pingPong += (ins.type & 3) == 2;
    sustain += (ins.volume.flags & 3) == 3;
    volumeLoop += (ins.volume.flags & 5) == 5;
    panning += ins.panning.flags & 1;
    fading += ins.fadeout > 0;
    vibrato += ins.vibratoDepth > 0 && ins.vibratoRate > 0;
  }
  EXPECT_GE(forward, 1);
  EXPECT_GE(pingPong, 1);
  EXPECT_GE(sustain, 1);
  EXPECT_GE(volumeLoop, 1);
  EXPECT_GE(panning, 1);
  EXPECT_GE(fading, 1);
  EXPECT_GE(vibrato, 1);
}

// Plays the order list the way a tracker does (position jump, pattern break)
// and counts the rows up to the point where the song starts repeating.
struct Walk {
  uint32_t rows = 0;
  int loopOrder = -1;       // order position the song repeats from
  bool loopByJump = false;  // the repeat is a position jump
  std::set<std::pair<int, int>> effects;  // (effect, E sub-command or -1)
  bool speedChanged = false;
};

Walk walkSong(const Tune& t) {
  Walk w;
  std::set<std::pair<uint32_t, uint32_t>> visited;
  uint32_t order = 0, row = 0;
  for (int guard = 0; guard < 100000; ++guard) {
    if (!visited.insert({order, row}).second) {
      w.loopOrder = int(order);
      return w;
    }
    const uint32_t pattern = t.order[order];
    const std::vector<Cell>& cells = t.patterns[pattern];
    int jumpOrder = -1, breakRow = -1;
    for (uint32_t ch = 0; ch < t.channels; ++ch) {
      const Cell& c = cells[row * t.channels + ch];
      if (c.effect == 0 && c.param == 0) continue;
      w.effects.insert({c.effect, c.effect == 14 ? c.param >> 4 : -1});
      if (c.effect == 11) {  // a jump takes row 0 unless a later channel breaks to another row
        jumpOrder = c.param;
        breakRow = 0;
      }
      if (c.effect == 13) breakRow = (c.param >> 4) * 10 + (c.param & 15);
      if (c.effect == 15) w.speedChanged = true;
    }
    ++w.rows;
    w.loopByJump = false;
    if (jumpOrder >= 0) {
      order = uint32_t(jumpOrder) < t.songLength ? uint32_t(jumpOrder) : 0;
      row = uint32_t(breakRow);
      w.loopByJump = true;
    } else if (breakRow >= 0) {
      order = order + 1 < t.songLength ? order + 1 : 0;
      row = uint32_t(breakRow);
    } else if (++row >= t.rows[pattern]) {
      row = 0;
      order = order + 1 < t.songLength ? order + 1 : t.restart;
    }
  }
  return w;
}

TEST_F(TuneShape, SongLastsOneAndAHalfToThreeMinutesAndLoopsThroughTheRestartPosition) {
  const Walk w = walkSong(*tune);
  EXPECT_FALSE(w.speedChanged) << "the length below assumes speed 4 throughout";
  const double seconds = w.rows * 4 * 0.02;  // 4 ticks of 20 ms at 125 BPM
  EXPECT_GE(seconds, 90.0);
  EXPECT_LE(seconds, 180.0);
  EXPECT_EQ(w.loopOrder, int(tune->restart));
  EXPECT_TRUE(w.loopByJump) << "the song loops through a position jump";
  EXPECT_GT(tune->restart, 0u) << "the intro is not repeated";
}

TEST_F(TuneShape, PatternsUseTheTrackerEffectsOfTheTune) {
  const Walk w = walkSong(*tune);
  const struct {
    const char* name;
    int effect, sub;
  } wanted[] = {
      {"arpeggio", 0, -1},         {"portamento up", 1, -1},     {"portamento down", 2, -1},
      {"tone portamento", 3, -1},  {"vibrato", 4, -1},           {"volume slide", 10, -1},
      {"set volume", 12, -1},      {"panning", 8, -1},           {"note cut", 14, 12},
      {"note delay", 14, 13},      {"retrigger", 14, 9},         {"fine volume slide up", 14, 10},
      {"fine volume slide down", 14, 11}, {"pattern break", 13, -1}, {"position jump", 11, -1},
  };
  for (const auto& e : wanted) EXPECT_TRUE(w.effects.count({e.effect, e.sub})) << e.name << " is not used";
}

}  // namespace
