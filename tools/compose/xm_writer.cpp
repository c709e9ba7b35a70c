// Writes the song as an XM module, field by field, little-endian.
#include "compose.h"

namespace {

constexpr uint32_t HeaderSizeField = 276;       // counted from offset 60: fields to the order table's end
constexpr uint32_t PatternHeaderSize = 9;
constexpr uint32_t InstrumentHeaderSize = 263;  // with one sample: up to the reserved tail
constexpr uint32_t SampleHeaderSize = 40;

void putU8(std::vector<uint8_t>& out, uint32_t v) { out.push_back(uint8_t(v)); }
void putU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void putU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
// Fixed-width text field, padded with blanks or zeros.
void putText(std::vector<uint8_t>& out, const std::string& text, size_t width, uint8_t pad) {
  for (size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? uint8_t(text[i]) : pad);
}

// Packed cells: an empty cell is one mask byte, a full one its five bytes.
void packCell(std::vector<uint8_t>& out, const Cell& c) {
  const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
  uint8_t mask = 0;
  for (int i = 0; i < 5; ++i)
    if (fields[i]) mask |= uint8_t(1u << i);
  if (mask == 0x1F) {
    for (uint8_t f : fields) out.push_back(f);
    return;
  }
  out.push_back(uint8_t(0x80 | mask));
  for (int i = 0; i < 5; ++i)
    if (mask & (1u << i)) out.push_back(fields[i]);
}

std::vector<uint8_t> packPattern(const Pattern& p) {
  std::vector<uint8_t> data;
  for (const Cell& c : p.cells) packCell(data, c);
  return data;
}

void putEnvelope(std::vector<uint8_t>& out, const EnvelopeRecipe& e) {
  for (int i = 0; i < MaxEnvelopePoints; ++i) {
    putU16(out, i < e.pointCount ? e.x[i] : 0);
    putU16(out, i < e.pointCount ? e.y[i] : 0);
  }
}

uint8_t envelopeFlags(const EnvelopeRecipe& e) {
  if (e.pointCount < 2) return 0;
  uint8_t flags = 1;
  if (e.sustain >= 0) flags |= 2;
  if (e.loopStart >= 0) flags |= 4;
  return flags;
}

uint8_t pointIndex(int i) { return uint8_t(i < 0 ? 0 : i); }

void putInstrument(std::vector<uint8_t>& out, const InstrumentRecipe& r, const std::vector<int8_t>& data) {
  const size_t start = out.size();
  putU32(out, InstrumentHeaderSize);
  putText(out, r.name, 22, 0);
  putU8(out, 0);                 // type
  putU16(out, 1);                // one sample
  putU32(out, SampleHeaderSize);
  for (int i = 0; i < 96; ++i) putU8(out, 0);  // every note plays sample 0
  putEnvelope(out, r.volumeEnvelope);
  putEnvelope(out, r.panningEnvelope);
  putU8(out, uint32_t(r.volumeEnvelope.pointCount));
  putU8(out, uint32_t(r.panningEnvelope.pointCount));
  putU8(out, pointIndex(r.volumeEnvelope.sustain));
  putU8(out, pointIndex(r.volumeEnvelope.loopStart));
  putU8(out, pointIndex(r.volumeEnvelope.loopEnd));
  putU8(out, pointIndex(r.panningEnvelope.sustain));
  putU8(out, pointIndex(r.panningEnvelope.loopStart));
  putU8(out, pointIndex(r.panningEnvelope.loopEnd));
  putU8(out, envelopeFlags(r.volumeEnvelope));
  putU8(out, envelopeFlags(r.panningEnvelope));
  putU8(out, uint32_t(r.vibratoType));
  putU8(out, uint32_t(r.vibratoSweep));
  putU8(out, uint32_t(r.vibratoDepth));
  putU8(out, uint32_t(r.vibratoRate));
  putU16(out, uint32_t(r.fadeout));
  while (out.size() - start < InstrumentHeaderSize) putU8(out, 0);  // reserved

  const uint32_t length = uint32_t(data.size());
  uint32_t loopStart = 0, loopLength = 0;
  if (r.loopType != 0) {
    loopStart = r.loopStart;
    loopLength = r.loopToEnd ? length - r.loopStart : r.loopLength;
  }
  putU32(out, length);
  putU32(out, loopStart);
  putU32(out, loopLength);
  putU8(out, uint32_t(r.volume));
  putU8(out, uint8_t(int8_t(r.finetune)));
  putU8(out, uint32_t(r.loopType));  // bit 4 clear: 8-bit data
  putU8(out, uint32_t(r.panning));
  putU8(out, uint8_t(int8_t(r.relativeNote)));
  putU8(out, 0);
  putText(out, r.name, 22, 0);

  // Delta coding: each byte is the difference to the previous value, wrapping.
  int8_t previous = 0;
  for (int8_t v : data) {
    out.push_back(uint8_t(uint8_t(v) - uint8_t(previous)));
    previous = v;
  }
}

}  // namespace

uint32_t moduleOverhead(const Song& song) {
  uint32_t size = 60 + HeaderSizeField;
  for (const Pattern& p : song.patterns) size += PatternHeaderSize + uint32_t(packPattern(p).size());
  size += uint32_t(song.instruments.size()) * (InstrumentHeaderSize + SampleHeaderSize);
  return size;
}

std::vector<uint8_t> writeModule(const Song& song, const std::vector<std::vector<int8_t>>& sampleData) {
  std::vector<uint8_t> out;
  putText(out, "Extended Module: ", 17, ' ');
  putText(out, song.title, 20, ' ');
  putU8(out, 0x1A);
  putText(out, song.tracker, 20, ' ');
  putU16(out, 0x0104);
  putU32(out, HeaderSizeField);
  putU16(out, uint32_t(song.order.size()));
  putU16(out, uint32_t(song.restart));
  putU16(out, uint32_t(song.channels));
  putU16(out, uint32_t(song.patterns.size()));
  putU16(out, uint32_t(song.instruments.size()));
  putU16(out, song.linear ? 1 : 0);
  putU16(out, uint32_t(song.speed));
  putU16(out, uint32_t(song.tempo));
  for (int i = 0; i < MaxOrders; ++i) putU8(out, i < int(song.order.size()) ? uint32_t(song.order[size_t(i)]) : 0);

  for (const Pattern& p : song.patterns) {
    const std::vector<uint8_t> packed = packPattern(p);
    putU32(out, PatternHeaderSize);
    putU8(out, 0);
    putU16(out, uint32_t(p.rows));
    putU16(out, uint32_t(packed.size()));
    out.insert(out.end(), packed.begin(), packed.end());
  }
  for (size_t i = 0; i < song.instruments.size(); ++i) putInstrument(out, song.instruments[i], sampleData[i]);
  return out;
}
