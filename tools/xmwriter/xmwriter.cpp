// The XM writer: the file layout, field by field, little-endian.
#include "xmwriter.h"

#include <algorithm>
#include <cstdio>

// ---- Cells ------------------------------------------------------------------

XmCell xmCell(uint8_t note, uint8_t instrument, uint8_t volumeColumn, uint8_t effect, uint8_t effectParam) {
    XmCell cell;
    cell.note = note;
    cell.instrument = instrument;
    cell.volumeColumn = volumeColumn;
    cell.effect = effect;
    cell.effectParam = effectParam;
    return cell;
}
XmCell xmNote(uint8_t note, uint8_t instrument, uint8_t volumeColumn) {
    return xmCell(note, instrument, volumeColumn, 0, 0);
}
XmCell xmEffect(uint8_t effect, uint8_t effectParam) { return xmCell(0, 0, 0, effect, effectParam); }

XmCell& XmPattern::at(uint32_t row, uint32_t channel) {
    if (cells.size() < (size_t)rows * channels) cells.resize((size_t)rows * channels);
    return cells.at((size_t)row * channels + channel);
}

// ---- Samples ----------------------------------------------------------------

XmSample& XmSample::loop(uint32_t start, uint32_t length, uint8_t type) {
    loopStart = start;
    loopLength = length;
    loopType = type;
    return *this;
}

XmSample xmSample8(const std::vector<int32_t>& values) {
    XmSample s;
    s.form = XmSampleForm::Bits8;
    s.values = values;
    return s;
}

XmSample xmSample16(const std::vector<int32_t>& values) {
    XmSample s;
    s.form = XmSampleForm::Bits16;
    s.values = values;
    return s;
}

XmSample xmSamplePacked(const std::vector<int8_t>& table, const std::vector<uint8_t>& nibbles) {
    XmSample s;
    s.form = XmSampleForm::Packed4;
    for (size_t i = 0; i < 16 && i < table.size(); i++) s.deltaTable[i] = table[i];
    s.nibbles = nibbles;
    return s;
}

// ---- Module -----------------------------------------------------------------

XmPattern& XmModule::addPattern(uint16_t rows) {
    XmPattern pattern;
    pattern.rows = rows;
    pattern.channels = channels;
    pattern.cells.resize((size_t)rows * channels);
    patterns.push_back(pattern);
    return patterns.back();
}

XmInstrument& XmModule::addInstrument() {
    instruments.emplace_back();
    return instruments.back();
}

XmInstrument& XmModule::addInstrument(const XmSample& sample) {
    XmInstrument& instrument = addInstrument();
    instrument.samples.push_back(sample);
    return instrument;
}

namespace {

void put8(std::vector<uint8_t>& out, uint32_t v) { out.push_back((uint8_t)v); }
void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void putText(std::vector<uint8_t>& out, const std::string& text, size_t width, uint8_t pad = 0) {
    for (size_t i = 0; i < width; i++) out.push_back(i < text.size() ? (uint8_t)text[i] : pad);
}

uint32_t sampleFrames(const XmSample& s) {
    return (uint32_t)(s.form == XmSampleForm::Packed4 ? s.nibbles.size() : s.values.size());
}

std::vector<uint8_t> sampleData(const XmSample& s) {
    if (s.rawData) return *s.rawData;
    std::vector<uint8_t> out;
    if (s.form == XmSampleForm::Packed4) {
        for (int i = 0; i < 16; i++) out.push_back((uint8_t)s.deltaTable[i]);
        for (size_t i = 0; i < s.nibbles.size(); i += 2) {
            uint8_t low = s.nibbles[i] & 15;
            uint8_t high = i + 1 < s.nibbles.size() ? s.nibbles[i + 1] & 15 : 0;
            out.push_back((uint8_t)(low | high << 4));
        }
        return out;
    }
    int32_t previous = 0;
    for (int32_t v : s.values) {
        int32_t delta = v - previous;
        previous = v;
        if (s.form == XmSampleForm::Bits8) {
            put8(out, (uint32_t)delta & 0xFF);
        } else {
            put16(out, (uint32_t)delta & 0xFFFF);
        }
    }
    return out;
}

void envelopePoints(std::vector<uint8_t>& out, const XmEnvelope& e) {
    for (size_t i = 0; i < 12; i++) {
        put16(out, i < e.points.size() ? e.points[i].first : 0);
        put16(out, i < e.points.size() ? e.points[i].second : 0);
    }
}

std::vector<uint8_t> packPatternCells(const XmPattern& pattern) {
    std::vector<uint8_t> out;
    size_t count = (size_t)pattern.rows * pattern.channels;
    for (size_t i = 0; i < count; i++) {
        XmCell c = i < pattern.cells.size() ? pattern.cells[i] : XmCell{};
        uint8_t fields[5] = {c.note, c.instrument, c.volumeColumn, c.effect, c.effectParam};
        bool allSet = c.note && c.instrument && c.volumeColumn && c.effect && c.effectParam;
        bool plain = pattern.packing == XmPacking::Plain ||
                     (pattern.packing == XmPacking::Auto && allSet && c.note < 0x80);
        if (plain) {
            for (uint8_t f : fields) put8(out, f);
            continue;
        }
        uint8_t mask = 0x80;
        for (int k = 0; k < 5; k++) {
            if (fields[k]) mask |= (uint8_t)(1 << k);
        }
        put8(out, mask);
        for (int k = 0; k < 5; k++) {
            if (fields[k]) put8(out, fields[k]);
        }
    }
    return out;
}

}  // namespace

std::vector<uint8_t> writeXm(const XmModule& m) {
    std::vector<uint8_t> out;
    putText(out, "Extended Module: ", 17);
    if (m.titleBytes) {
        for (size_t i = 0; i < 20; i++) out.push_back(i < m.titleBytes->size() ? (*m.titleBytes)[i] : 0);
    } else {
        putText(out, m.title, 20, m.textPad);
    }
    put8(out, 0x1A);
    putText(out, m.trackerName, 20, m.textPad);
    put16(out, 0x0104);
    uint32_t headerSize = m.headerSize.value_or(276);
    put32(out, headerSize);
    put16(out, m.songLength.value_or((uint16_t)m.orders.size()));
    put16(out, m.restart);
    put16(out, m.channelWord.value_or(m.channels));
    put16(out, (uint16_t)m.patterns.size());
    put16(out, m.instrumentCount.value_or((uint16_t)m.instruments.size()));
    put16(out, m.flags);
    put16(out, m.speed);
    put16(out, m.tempo);
    for (size_t i = 0; i < 256; i++) out.push_back(i < m.orders.size() ? m.orders[i] : 0);
    // A header size above the standard 276 leaves room the reader skips.
    while (out.size() < 60 + (size_t)headerSize && out.size() < 60 + 276 + 4096) out.push_back(0);

    for (const XmPattern& p : m.patterns) {
        std::vector<uint8_t> data = p.rawData ? *p.rawData : packPatternCells(p);
        if (!p.rawData && p.storeEmpty) {
            bool empty = true;
            for (const XmCell& c : p.cells) {
                if (c.note || c.instrument || c.volumeColumn || c.effect || c.effectParam) empty = false;
            }
            if (empty) data.clear();
        }
        put32(out, 9);
        put8(out, 0);   // packing type
        put16(out, p.rows);
        put16(out, p.packedSize.value_or((uint16_t)data.size()));
        out.insert(out.end(), data.begin(), data.end());
    }

    for (const XmInstrument& ins : m.instruments) {
        size_t start = out.size();
        uint32_t insHeaderSize = ins.headerSize.value_or(263);
        put32(out, insHeaderSize);
        putText(out, ins.name, 22);
        put8(out, 0);
        put16(out, (uint16_t)ins.samples.size());
        put32(out, 40);
        for (int i = 0; i < 96; i++) put8(out, ins.sampleMap[i]);
        envelopePoints(out, ins.volumeEnvelope);
        envelopePoints(out, ins.panningEnvelope);
        put8(out, ins.volumeEnvelope.pointCount.value_or((uint8_t)ins.volumeEnvelope.points.size()));
        put8(out, ins.panningEnvelope.pointCount.value_or((uint8_t)ins.panningEnvelope.points.size()));
        put8(out, ins.volumeEnvelope.sustain);
        put8(out, ins.volumeEnvelope.loopStart);
        put8(out, ins.volumeEnvelope.loopEnd);
        put8(out, ins.panningEnvelope.sustain);
        put8(out, ins.panningEnvelope.loopStart);
        put8(out, ins.panningEnvelope.loopEnd);
        put8(out, ins.volumeEnvelope.flags);
        put8(out, ins.panningEnvelope.flags);
        put8(out, ins.vibratoType);
        put8(out, ins.vibratoSweep);
        put8(out, ins.vibratoDepth);
        put8(out, ins.vibratoRate);
        put16(out, ins.fadeout);
        // The header's declared size decides where the sample headers start:
        // pad up to it (a size far past any file is only written, not
        // padded), or cut what was written past it.
        size_t headerEnd = start + insHeaderSize;
        if (out.size() < headerEnd) {
            out.resize(std::min(headerEnd, start + 263 + 4096), 0);
        } else if (out.size() > headerEnd && insHeaderSize >= 4) {
            out.resize(headerEnd);
        }
        for (const XmSample& s : ins.samples) {
            bool wide = s.form == XmSampleForm::Bits16;
            uint32_t bytesPerFrame = wide ? 2 : 1;
            put32(out, s.lengthBytes.value_or(sampleFrames(s) * bytesPerFrame));
            put32(out, s.loopStartBytes.value_or(s.loopStart * bytesPerFrame));
            put32(out, s.loopLengthBytes.value_or(s.loopLength * bytesPerFrame));
            put8(out, s.volume);
            put8(out, (uint8_t)s.finetune);
            put8(out, (uint8_t)((s.loopType & 3) | (wide ? 0x10 : 0)));
            put8(out, s.panning);
            put8(out, (uint8_t)s.relativeNote);
            put8(out, s.reservedByte.value_or(s.form == XmSampleForm::Packed4 ? 0xAD : 0));
            putText(out, s.name, 22);
        }
        for (const XmSample& s : ins.samples) {
            std::vector<uint8_t> data = sampleData(s);
            out.insert(out.end(), data.begin(), data.end());
        }
    }
    return out;
}

bool writeXmFile(const std::string& path, const XmModule& module) { return writeBytesFile(path, writeXm(module)); }

bool writeBytesFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
