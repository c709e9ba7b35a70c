// The XM loader: builds the song model from the byte source, converting every
// sample to signed 16-bit with zero slots around it for the mixer.
//
// Limits, and what a file beyond them gets:
// - channels: low byte of the header word, at most 32 kept. Cells of channels
//   past 32 are still decoded and dropped, so the stream stays in step.
// - instruments: low byte of the header word (0..255); that byte is stored.
// - samples per instrument: the first 16 are loaded; the headers and data of
//   the rest are skipped (the note-to-sample map reaches only 16).
// - song length and the order scan: the 256 entries of the order table.
// - pattern slots: max(file pattern count, highest scanned order entry + 1).
// - rows per pattern: as the file says (u16). A pattern that gets no cells
//   (0 rows or 0 channels) but declares packed data has that data skipped.
// - cells: notes above 97 and effects above 35 are emptied; instrument numbers
//   above the instrument count become 0.
// - envelopes: at most 12 points (more: envelope off), x strictly increasing
//   (cut at the first point that is not), sustain and loop points must exist
//   (else that flag is cleared); fewer than 2 points: envelope off.
// - instrument fields past the instrument's own header size stay zero.
// - sample loops: inside the stored data; a loop starting past the end is
//   dropped, one running past it is shortened.
// - 4-bit packed samples: 8-bit only; a 16-bit packed sample fails the load.
// - a source shorter than the header's fields (80 bytes) is no module.
// - memory: the whole song at most LoadBudgetFloor + LoadBudgetPerByte x the
//   source's size, so a truncated file still loads (silence where its data is
//   missing) while a header declaring gigabytes is refused.
#include "module.h"

#include <atomic>
#include <cstddef>
#include <cstring>

#include "sources.h"

namespace introplayer {

ModuleRecord song;
char songTitle[21];
// What a channel that has played nothing takes an instrument number alone
// from, as the classic tracker does: volume 0, centred.
const SampleRecord emptySample = {0, 0, 0, /*volume*/ 0, 0, 0, /*panning*/ 128, 0, 0, 0, nullptr};
uint8_t moduleHeader[ModuleHeaderSize];
char moduleLoadError[160];
bool songLoaded;

namespace {

constexpr uint64_t LoadBudgetFloor = 32u << 20;   // bytes, whatever the source's size
constexpr uint64_t LoadBudgetPerByte = 16;        // bytes per byte of source
constexpr uint32_t OrderTableSize = 256;
constexpr uint32_t HeaderFieldsEnd = 80;          // the header's fields end with the tempo word
constexpr uint32_t MaxSamplesPerInstrument = 16;
constexpr uint32_t MaxEnvelopePoints = 12;
constexpr uint32_t MissingPatternRows = 64;
constexpr uint8_t NoteKeyOff = 97;
constexpr uint8_t LastEffect = 35;                // 'Z'
constexpr uint8_t PackedSampleMark = 0xAD;
constexpr uint32_t PatternHeaderBytes = 9;
constexpr uint32_t InstrumentHeadBytes = 33;      // size, name, type, sample count, sample-header size
constexpr uint32_t InstrumentBodyBytes = 208;     // sample map through fade-out
constexpr uint32_t SampleHeaderBytes = 40;
constexpr uint32_t SampleSlotsBefore = 1;         // data[-1]
constexpr uint32_t SampleSlotsAfter = 3;          // pad and two more

int32_t sourceTotal;      // source size, -1 unknown
uint64_t budgetLeft;      // bytes the load may still allocate

uint16_t getU16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
uint32_t getU32(const uint8_t* p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Four characters as getU32 reads them from a file: a compare the compiler
// folds, where memcmp stays a call.
constexpr uint32_t fourBytes(const char (&text)[5]) {
    return (uint32_t)(uint8_t)text[0] | (uint32_t)(uint8_t)text[1] << 8 | (uint32_t)(uint8_t)text[2] << 16 |
           (uint32_t)(uint8_t)text[3] << 24;
}

#if INTROPLAYER_ERROR_TEXTS
// Error text is put together piece by piece: no printf family in the player.
void addError(const char* text) {
    size_t used = std::strlen(moduleLoadError);
    while (*text && used + 1 < sizeof moduleLoadError) moduleLoadError[used++] = *text++;
    moduleLoadError[used] = 0;
}

// Decimal digits by subtracting powers of ten: no 64-bit division, which the
// 32-bit build would call a helper for.
void addError(uint64_t number) {
    uint64_t powers[20];   // made here: a stored table would cost more than this loop
    powers[0] = 1;
    for (int k = 1; k < 20; k++) powers[k] = powers[k - 1] * 10;
    char text[21];
    int n = 0;
    for (int k = 19; k >= 0; k--) {
        char d = '0';
        while (number >= powers[k]) {
            number -= powers[k];
            d++;
        }
        if (d != '0' || n > 0 || k == 0) text[n++] = d;
    }
    text[n] = 0;
    addError(text);
}
#else
inline void addError(const char*) {}
inline void addError(uint64_t) {}
#endif

int fail(const char* text) {
    setLoadError(text);
    return 0;
}

int32_t position() { return seekBytes(0, 1); }

// Absolute seek to a position computed from the file's own sizes; anything
// outside 0..2^31-1 lands at the nearest end (the source clamps to its size).
void seekTo(int64_t target) {
    if (target < 0) target = 0;
    if (target > INT32_MAX) target = INT32_MAX;
    seekBytes((int32_t)target, 0);
}

bool exhausted() { return sourceTotal >= 0 && position() >= sourceTotal; }

// Reads like readBytes and returns how many bytes were really there.
int32_t readAvailable(void* dest, int32_t count) {
    if (count <= 0) return 0;
    int32_t available = count;
    if (sourceTotal >= 0) {
        int64_t left = (int64_t)sourceTotal - position();
        if (left < available) available = left < 0 ? 0 : (int32_t)left;
    }
    readBytes(dest, count);
    return available;
}

uint8_t readByte() {
    uint8_t value = 0;
    readBytes(&value, 1);
    return value;
}

void* loadAlloc(uint64_t size, const char* what) {
    if (size > budgetLeft || size > SIZE_MAX / 2) {
        fail(what);
        addError(" needs ");
        addError(size);
        addError(" bytes, more than a file of this size could describe");
        return nullptr;
    }
    void* block = allocZeroed((size_t)size);
    if (block == nullptr) {
        fail("out of memory for ");
        addError(what);
        addError(" (");
        addError(size);
        addError(" bytes)");
        return nullptr;
    }
    budgetLeft -= size;
    return block;
}

// A name field as text: drops controls and every byte >= 128.
void copyName(char* out, const uint8_t* field, int32_t width) {
    int32_t length = 0;
    for (int32_t i = 0; i < width; i++) {
        int8_t c = (int8_t)field[i];
        if (c >= 32) out[length++] = (char)c;
    }
    out[length] = 0;
}

void filterTitle() { copyName(songTitle, moduleHeader + 17, 20); }

// A cell the player can trust: known notes and effects, existing instruments.
void sanitizeCell(NoteCell* cell) {
    if (cell->note > NoteKeyOff) cell->note = 0;
    if (cell->effect > LastEffect) cell->effect = cell->effectParam = 0;
    if (cell->instrument > song.instrumentCount) cell->instrument = 0;
}

void decodeCell(NoteCell* cell) {
    uint8_t b = readByte();
    if (b & 0x80) {
        if (b & 0x01) cell->note = readByte();
        if (b & 0x02) cell->instrument = readByte();
        if (b & 0x04) cell->volumeColumn = readByte();
        if (b & 0x08) cell->effect = readByte();
        if (b & 0x10) cell->effectParam = readByte();
    } else {
        uint8_t rest[4] = {};
        readBytes(rest, 4);
        cell->note = b;
        cell->instrument = rest[0];
        cell->volumeColumn = rest[1];
        cell->effect = rest[2];
        cell->effectParam = rest[3];
    }
    sanitizeCell(cell);
}

int loadPatterns(uint32_t filePatterns, uint32_t fileChannels) {
    uint32_t channels = (uint32_t)song.channelCount;
    for (uint32_t p = 0; p < filePatterns; p++) {
        uint8_t header[PatternHeaderBytes] = {};
        readBytes(header, PatternHeaderBytes);
        PatternSlot* slot = &song.patternTable[p];
        slot->rowCount = getU16(header + 5);
        slot->packedSize = getU16(header + 7);
        if ((uint32_t)slot->rowCount * channels == 0) {
            // Nothing to decode into: skip the data the header declares so the
            // next pattern header is read where it is.
            if (slot->packedSize != 0) seekTo((int64_t)position() + slot->packedSize);
            continue;
        }
        slot->cells = (NoteCell*)loadAlloc((uint64_t)slot->rowCount * channels * sizeof(NoteCell),
                                           "a pattern");
        if (slot->cells == nullptr) return 0;
        if (slot->packedSize == 0) continue;
        NoteCell dropped;
        for (uint32_t row = 0; row < slot->rowCount; row++) {
            // Past the end every read delivers nothing, so the rest stays empty.
            if (exhausted()) break;
            for (uint32_t c = 0; c < fileChannels; c++) {
                dropped = NoteCell{};
                decodeCell(c < channels ? &slot->cells[row * channels + c] : &dropped);
            }
        }
    }
    return 1;
}

int addMissingPatterns(uint32_t filePatterns) {
    uint32_t channels = (uint32_t)song.channelCount;
    for (uint32_t p = song.patternSlotCount; p-- > filePatterns;) {
        PatternSlot* slot = &song.patternTable[p];
        slot->rowCount = MissingPatternRows;
        slot->packedSize = 0;
        if (channels == 0) continue;
        slot->cells = (NoteCell*)loadAlloc((uint64_t)MissingPatternRows * channels * sizeof(NoteCell),
                                           "an empty pattern");
        if (slot->cells == nullptr) return 0;
    }
    return 1;
}

// Makes an envelope safe to walk: the sequencer divides by x differences and
// indexes points by the sustain and loop numbers.
void repairEnvelope(EnvelopePoint* points, uint8_t* count, uint8_t* sustain, uint8_t* loopStart,
                    uint8_t* loopEnd, uint8_t* flags) {
    if (*count > MaxEnvelopePoints) *count = 0;
    for (uint32_t i = 1; i < *count; i++) {
        if (points[i].x <= points[i - 1].x) {
            *count = (uint8_t)i;
            break;
        }
    }
    if (*count < 2) {
        *flags = 0;
    }
    uint8_t last = *count > 0 ? (uint8_t)(*count - 1) : 0;
    if (*sustain > last) {
        *flags &= (uint8_t)~EnvelopeSustain;
        *sustain = last;
    }
    if (*loopStart > last || *loopEnd > last || *loopStart > *loopEnd) {
        *flags &= (uint8_t)~EnvelopeLoop;
        if (*loopEnd > last) *loopEnd = last;
        if (*loopStart > *loopEnd) *loopStart = *loopEnd;
    }
}

// The record keeps the file's order from the sample map through the vibrato
// rate, and the envelope points are little-endian words as on x86: one copy.
static_assert(offsetof(InstrumentRecord, volumeEnvelope) - offsetof(InstrumentRecord, sampleMap) == 96 &&
                  offsetof(InstrumentRecord, panningEnvelope) - offsetof(InstrumentRecord, sampleMap) == 144 &&
                  offsetof(InstrumentRecord, vibratoRate) - offsetof(InstrumentRecord, sampleMap) == 205,
              "the instrument record follows the file's layout");
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "envelope points are copied as stored");

void readInstrumentBody(InstrumentRecord* instrument, const uint8_t* b) {
    std::memcpy(instrument->sampleMap, b, 206);
    instrument->fadeout = (uint16_t)(getU16(b + 206) * 2);   // 16-bit on purpose: wraps like the original
}

// Header fields after the width halving and loop normalisation, with the loop
// kept inside the stored data.
void readSampleHeader(SampleRecord* s, const uint8_t* h) {
    uint32_t length = getU32(h);
    uint32_t loopStart = getU32(h + 4);
    uint32_t loopLength = getU32(h + 8);
    s->volume = h[12];
    // Finetune in sixteenths of a semitone: the low three bits are dropped,
    // rounding down, as the period tables stored music was written for do.
    s->finetune = (int8_t)(h[13] & 0xF8);
    s->is16Bit = (h[14] >> 4) & 1;
    s->panning = h[15];
    s->relativeNote = (int8_t)h[16];
    s->packing = h[17];
    if (s->is16Bit) {
        length >>= 1;
        loopStart >>= 1;
        loopLength >>= 1;
    }
    // Both loop bits set: a ping-pong loop, as stored music plays it.
    uint8_t loopType = (h[14] & 3) == 3 ? static_cast<uint8_t>(LoopPingPong) : h[14] & 3;
    if (loopType != LoopNone && loopLength != 0 && loopStart < length) {
        if (loopLength > length - loopStart) loopLength = length - loopStart;
    } else {
        loopType = LoopNone;
    }
    if (loopType == LoopNone) {
        loopStart = 0;
        loopLength = length;
    }
    s->length = length;
    s->loopStart = loopStart;
    s->loopLength = loopLength;
    s->loopType = loopType;
}

constexpr int32_t ChunkBytes = 4096;

// Returns the number of values stored: 2 x ceil(length / 2) when all bytes are
// there; the missing rest stays silent.
uint32_t decodePacked(SampleRecord* s) {
    int8_t table[16] = {};
    readBytes(table, 16);
    uint64_t packedBytes = ((uint64_t)s->length + 1) / 2;
    uint8_t chunk[ChunkBytes];
    uint8_t accumulator = 0;
    uint32_t written = 0;
    while (packedBytes > 0) {
        int32_t want = packedBytes < (uint64_t)ChunkBytes ? (int32_t)packedBytes : ChunkBytes;
        int32_t got = readAvailable(chunk, want);
        for (int32_t i = 0; i < got; i++) {
            accumulator = (uint8_t)(accumulator + table[chunk[i] & 15]);
            s->data[written++] = (int16_t)(uint16_t)(accumulator << 8);
            accumulator = (uint8_t)(accumulator + table[chunk[i] >> 4]);
            s->data[written++] = (int16_t)(uint16_t)(accumulator << 8);
        }
        if (got < want) break;
        packedBytes -= (uint64_t)want;
    }
    return written;
}

// Delta-coded 8-bit or 16-bit values; returns how many were there.
uint32_t decodeDeltas(SampleRecord* s) {
    const int32_t bytesPerValue = s->is16Bit ? 2 : 1;
    uint64_t bytesLeft = (uint64_t)s->length * (uint64_t)bytesPerValue;
    uint8_t chunk[ChunkBytes];
    uint16_t sum = 0;   // running 16-bit sum, wrapping
    uint32_t written = 0;
    while (bytesLeft > 0) {
        int32_t want = bytesLeft < (uint64_t)ChunkBytes ? (int32_t)bytesLeft : ChunkBytes;
        int32_t got = readAvailable(chunk, want);
        // One loop for both widths; an odd last byte of 16-bit data is half a
        // value: dropped.
        for (int32_t i = 0; i + bytesPerValue <= got; i += bytesPerValue) {
            const uint16_t delta = bytesPerValue == 1 ? (uint16_t)(chunk[i] << 8) : getU16(chunk + i);
            sum = (uint16_t)(sum + delta);
            s->data[written++] = (int16_t)sum;
        }
        if (got < want) break;
        bytesLeft -= (uint64_t)want;
    }
    return written;
}

int loadSampleData(SampleRecord* s, uint32_t instrumentNumber) {
    uint32_t padIndex;
    if (s->packing == PackedSampleMark) {
        if (!INTROPLAYER_PACKED_SAMPLES) {
            fail("instrument ");
            addError(instrumentNumber);
            addError(" has a 4-bit packed sample, which this build leaves out");
            return 0;
        }
        if (s->is16Bit) {
            fail("instrument ");
            addError(instrumentNumber);
            addError(" has a 16-bit sample in 4-bit packed form");
            return 0;
        }
        decodePacked(s);
        padIndex = (uint32_t)(((uint64_t)s->length + 1) / 2 * 2);   // after all 2 x N values, as stored
    } else {
        if (s->length == 0) return 1;
        decodeDeltas(s);
        padIndex = s->length;
    }
    if (s->loopType == LoopPingPong) {
        s->data[padIndex] = s->data[padIndex - 1];
    } else if (s->loopType == LoopForward) {
        s->data[padIndex] = s->data[s->loopStart];
    }
    return 1;
}

int loadInstruments() {
    for (uint32_t i = 0; i < song.instrumentCount; i++) {
        InstrumentRecord* instrument = &song.instrumentTable[i];
        int32_t start = position();
        uint8_t head[InstrumentHeadBytes] = {};
        readBytes(head, InstrumentHeadBytes);
        uint32_t headerSize = getU32(head);
        copyName(instrument->name, head + 4, 22);
        const uint32_t storedCount = getU16(head + 27);
        const uint32_t sampleCount =
            storedCount > MaxSamplesPerInstrument ? MaxSamplesPerInstrument : storedCount;
        instrument->sampleCount = sampleCount;
        uint8_t body[InstrumentBodyBytes] = {};
        readBytes(body, InstrumentBodyBytes);
        // Bytes past the instrument's own header belong to what follows it.
        if (headerSize < InstrumentHeadBytes + InstrumentBodyBytes) {
            uint32_t kept = headerSize > InstrumentHeadBytes ? headerSize - InstrumentHeadBytes : 0;
            std::memset(body + kept, 0, InstrumentBodyBytes - kept);
        }
        readInstrumentBody(instrument, body);
        seekTo((int64_t)start + headerSize);
        repairEnvelope(instrument->volumeEnvelope, &instrument->volumePointCount,
                       &instrument->volumeSustain, &instrument->volumeLoopStart,
                       &instrument->volumeLoopEnd, &instrument->volumeEnvelopeFlags);
        repairEnvelope(instrument->panningEnvelope, &instrument->panningPointCount,
                       &instrument->panningSustain, &instrument->panningLoopStart,
                       &instrument->panningLoopEnd, &instrument->panningEnvelopeFlags);
        if (storedCount == 0) continue;

        // Sample data bytes of the headers past the sixteenth, skipped after
        // the data of the kept ones.
        uint64_t skippedData = 0;
        for (uint32_t k = 0; k < storedCount; k++) {
            uint8_t header[SampleHeaderBytes] = {};
            readBytes(header, SampleHeaderBytes);
            if (k >= sampleCount) {
                if (exhausted()) break;   // a damaged count: nothing left to skip
                const uint64_t length = getU32(header);
                skippedData += header[17] == PackedSampleMark ? 16 + (length + 1) / 2 : length;
                continue;
            }
            SampleRecord parsed = {};
            readSampleHeader(&parsed, header);
            uint64_t slots = (uint64_t)parsed.length + SampleSlotsBefore + SampleSlotsAfter;
            SampleRecord* s = (SampleRecord*)loadAlloc(sizeof(SampleRecord) + slots * sizeof(int16_t),
                                                       "a sample");
            if (s == nullptr) return 0;
            std::memcpy(s, &parsed, sizeof parsed);   // the assignment compiled to a move per field
            s->data = (int16_t*)(s + 1) + SampleSlotsBefore;
            instrument->samples[k] = s;
        }
        for (uint32_t k = 0; k < sampleCount; k++) {
            if (!loadSampleData(instrument->samples[k], i + 1)) return 0;
        }
        if (skippedData) seekTo((int64_t)position() + (int64_t)skippedData);
    }
    return 1;
}

// A failed load leaves no tables behind: the heap that holds the partial ones
// is about to be destroyed by the caller.
int forgetTables() {
    song.patternTable = nullptr;
    song.instrumentTable = nullptr;
    song.patternSlotCount = 0;
    song.instrumentCount = 0;
    song.channelCount = 0;
    return 0;
}

int parseModule() {
    moduleLoadError[0] = 0;
    song = ModuleRecord{};
    filterTitle();

    const uint8_t* h = moduleHeader;
    uint32_t headerSize = getU32(h + 60);
    uint16_t fileSongLength = getU16(h + 64);
    song.restartPosition = getU16(h + 66);
    song.rawChannelCount = getU16(h + 68);
    uint32_t filePatterns = getU16(h + 70);
    song.instrumentCount = h[72];
    song.flags = getU16(h + 74);
    if (!INTROPLAYER_AMIGA_PERIODS && !(song.flags & 1))
        return fail("the song uses Amiga periods, which this build leaves out");
    // X6x is OpenMPT's fine pattern delay, and its files are written to it;
    // the classic tracker and the others have no X6x and play without it.
    song.fineDelays = getU32(h + 38) == fourBytes("Open") && getU32(h + 42) == fourBytes("MPT ");
    song.defaultSpeed = getU16(h + 76);
    song.defaultTempo = getU16(h + 78);
    std::memcpy(song.orderTable, h + 80, OrderTableSize);
    song.songLength = fileSongLength > OrderTableSize ? (uint16_t)OrderTableSize : fileSongLength;

    sourceTotal = sourceLength();
    // A source of unknown size (a stream that cannot tell) is taken as 64 MiB.
    budgetLeft = LoadBudgetFloor + LoadBudgetPerByte * (uint64_t)(sourceTotal < 0 ? 64u << 20 : sourceTotal);

    seekTo(60 + (int64_t)headerSize);

    uint32_t slots = filePatterns;
    if (song.songLength > 0) {
        uint32_t highest = 0;
        for (uint32_t i = 0; i < song.songLength; i++) {
            if (song.orderTable[i] > highest) highest = song.orderTable[i];
        }
        if (highest + 1 > slots) slots = highest + 1;
    }
    song.patternSlotCount = (uint16_t)slots;   // at most 65,535: the file count or 256

    uint64_t tableBytes = (uint64_t)slots * sizeof(PatternSlot) +
                          (uint64_t)song.instrumentCount * sizeof(InstrumentRecord);
    uint8_t* tables = (uint8_t*)loadAlloc(tableBytes, "the pattern and instrument tables");
    if (tables == nullptr) return 0;
    song.patternTable = (PatternSlot*)tables;
    song.instrumentTable = (InstrumentRecord*)(tables + (size_t)slots * sizeof(PatternSlot));

    uint32_t fileChannels = song.rawChannelCount & 0xFF;
    song.channelCount = (int32_t)(fileChannels > 32 ? 32 : fileChannels);

    if (!loadPatterns(filePatterns, fileChannels)) return 0;
    if (!addMissingPatterns(filePatterns)) return 0;
    if (!loadInstruments()) return 0;
    return 1;
}

}  // namespace

#if INTROPLAYER_ERROR_TEXTS
void setLoadError(const char* text) {
    moduleLoadError[0] = 0;
    addError(text);
}
#endif

namespace {

// What the title read-out shows: a finished copy, so that a thread reading it
// never sees a load half done. Each load writes the copy not shown now.
char titleCopies[2][sizeof songTitle];
int32_t nextTitleCopy;
std::atomic<const char*> shownTitle{""};

void showTitle(bool loaded) {
    const char* shown = "";
    if (loaded) {
        char* copy = titleCopies[nextTitleCopy];
        nextTitleCopy ^= 1;
        std::memcpy(copy, songTitle, sizeof songTitle);
        shown = copy;
    }
    shownTitle.store(shown, std::memory_order_release);
}

}  // namespace

const char* shownSongTitle() { return shownTitle.load(std::memory_order_acquire); }

int loadModule() {
    songLoaded = parseModule() != 0;
    showTitle(songLoaded);
    return songLoaded ? 1 : forgetTables();
}

void forgetSong() {
    songLoaded = false;
    showTitle(false);
    forgetTables();
}

int loadModuleFromSource(int32_t sourceKind, const void* source, uint32_t length) {
    moduleLoadError[0] = 0;
    forgetSong();
    if (sourceKind < SourceResource || sourceKind > SourceFile)
        return fail("unknown source kind (0 resource, 1 memory, 2 file)");
    if ((sourceKind == SourceFile && !INTROPLAYER_FILE_SOURCE) ||
        (sourceKind == SourceResource && !INTROPLAYER_NAMED_RESOURCES))
        return fail("this source kind is not built in");
    std::memset(moduleHeader, 0, sizeof moduleHeader);
    selectSource(sourceKind, length);
    uintptr_t handle = openSource(source);
    if (sourceKind != SourceMemory && handle == 0) {
        closeSource(handle);
        if (sourceKind >= SourceFile) return fail("cannot open the file");
        // A 64-bit module handle cut to the 32-bit length lands here too.
        return fail(length == 0 ? "no such resource"
                                : "no such resource, or length is not a loaded module's handle");
    }
    readBytes(moduleHeader, (int32_t)ModuleHeaderSize);
    int loaded;
    const int32_t available = sourceLength();
    if (getU32(moduleHeader) != fourBytes("Exte")) {
        loaded = fail("not an XM module (it does not begin with \"Extended Module\")");
    } else if (available >= 0 && available < (int32_t)HeaderFieldsEnd) {
        // Zeros for the song's own header fields would pass for an empty song.
        loaded = fail("too short to be an XM module (its header is cut off)");
    } else {
        loaded = loadModule();
    }
    closeSource(handle);
    return loaded;
}

}  // namespace introplayer
