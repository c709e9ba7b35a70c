// A small XM writer: describe a module in code, get its bytes. The tests, the
// tune's composing tool and the benchmarks write their modules with it.
//
//   XmModule m;                          // 4 channels, speed 6, tempo 125, linear
//   m.orders = {0};
//   XmPattern& p = m.addPattern(64);     // 64 rows x m.channels, all empty
//   p.at(0, 0) = xmNote(49, 1);          // C-4, instrument 1, row 0, channel 0
//   p.at(0, 1) = xmCell(0, 0, 0x40, 0x0F, 3);
//   XmInstrument& ins = m.addInstrument();
//   ins.samples.push_back(xmSample8({0, 64, 127, 64, 0, -64}));
//   ins.samples[0].loop(1, 4, 1);   // forward
//   std::vector<uint8_t> bytes = writeXm(m);   // or writeXmFile(path, m)
//
// Set m.channels before adding patterns. A reference from addPattern or
// addInstrument is valid until the next add of the same kind.
// Everything the writer derives (lengths, counts, header sizes, packed sizes)
// can be overridden to build damaged files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct XmCell {
    uint8_t note = 0;
    uint8_t instrument = 0;
    uint8_t volumeColumn = 0;
    uint8_t effect = 0;
    uint8_t effectParam = 0;
};


// How the cells of a pattern are stored.
enum class XmPacking {
    Auto,        // a mask byte and the nonzero fields; all five bytes plain when every field is set
    MaskAlways,  // always a mask byte, even for an empty cell (0x80)
    Plain,       // always the five plain bytes (the note must be below 128)
};

struct XmPattern {
    uint16_t rows = 64;
    uint32_t channels = 0;            // cells per row (set by XmModule::addPattern)
    std::vector<XmCell> cells;        // rows x channels, row by row
    XmPacking packing = XmPacking::Auto;
    bool storeEmpty = false;          // no cell data and packed size 0 when all cells are empty
    std::optional<uint16_t> packedSize;   // written instead of the real size
    std::optional<std::vector<uint8_t>> rawData;   // written instead of the packed cells

    XmCell& at(uint32_t row, uint32_t channel);
};

enum class XmSampleForm { Bits8, Bits16, Packed4 };

struct XmSample {
    XmSampleForm form = XmSampleForm::Bits8;
    // Sample values as they should play: -128..127 for 8-bit, -32768..32767
    // for 16-bit. The writer stores their deltas.
    std::vector<int32_t> values;
    // Packed 4-bit form: the delta table and one table index per value.
    int8_t deltaTable[16] = {};
    std::vector<uint8_t> nibbles;

    uint32_t loopStart = 0;           // sample frames
    uint32_t loopLength = 0;          // sample frames
    uint8_t loopType = 0;             // 0 none, 1 forward, 2 ping-pong (3 as the file may say)
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    std::string name;

    // Overrides of the header fields, in file units (bytes).
    std::optional<uint32_t> lengthBytes, loopStartBytes, loopLengthBytes;
    std::optional<uint8_t> reservedByte;  // 0xAD marks packed data
    std::optional<std::vector<uint8_t>> rawData;   // written instead of the encoded values

    XmSample& loop(uint32_t start, uint32_t length, uint8_t type);
};


struct XmEnvelope {
    std::vector<std::pair<uint16_t, uint16_t>> points;   // (tick, value)
    uint8_t sustain = 0;
    uint8_t loopStart = 0;
    uint8_t loopEnd = 0;
    uint8_t flags = 0;                // 1 on, 2 sustain, 4 loop
    std::optional<uint8_t> pointCount;   // written instead of points.size()
};

struct XmInstrument {
    std::string name;
    std::vector<XmSample> samples;
    uint8_t sampleMap[96] = {};       // sample number for each note (all 0: the first sample)
    XmEnvelope volumeEnvelope;
    XmEnvelope panningEnvelope;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;             // the file value (the loader doubles it)

    std::optional<uint32_t> headerSize;    // default 263
};

struct XmModule {
    std::string title = "test";
    std::string trackerName = "xm_writer";
    uint8_t textPad = 0;              // fills the title and the tracker name
    uint16_t channels = 4;
    uint16_t flags = 1;               // bit 0: linear frequency table
    uint16_t speed = 6;
    uint16_t tempo = 125;
    uint16_t restart = 0;
    std::vector<uint8_t> orders;      // the song; written as the order table
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;

    // Overrides of the header, written instead of what the writer derives.
    std::optional<std::vector<uint8_t>> titleBytes;   // the 20 raw name bytes
    std::optional<uint32_t> headerSize;        // default 276 (counted from offset 60)
    std::optional<uint16_t> songLength;
    std::optional<uint16_t> channelWord;
    std::optional<uint16_t> instrumentCount;

    XmPattern& addPattern(uint16_t rows = 64);   // uses the current channel count
    XmInstrument& addInstrument(const XmSample& sample);
    XmInstrument& addInstrument();
};

XmCell xmCell(uint8_t note, uint8_t instrument, uint8_t volumeColumn, uint8_t effect, uint8_t effectParam);
XmCell xmNote(uint8_t note, uint8_t instrument = 0, uint8_t volumeColumn = 0);
XmCell xmEffect(uint8_t effect, uint8_t effectParam);

XmSample xmSample8(const std::vector<int32_t>& values);
XmSample xmSample16(const std::vector<int32_t>& values);
// Values are the running sum of table[nibble], wrapping in 8 bits; an odd
// count leaves the last byte's high nibble 0.
XmSample xmSamplePacked(const std::vector<int8_t>& table, const std::vector<uint8_t>& nibbles);

std::vector<uint8_t> writeXm(const XmModule& m);
// Writes the module to a file (for other players). False on failure.
bool writeXmFile(const std::string& path, const XmModule& module);
// Writes bytes to a file; false when it could not be written whole.
bool writeBytesFile(const std::string& path, const std::vector<uint8_t>& bytes);
