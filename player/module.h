// The song model: what the XM loader builds and the sequencer, effects,
// modulation and mixer read. One song at a time, in module-level records.
#pragma once

#include <cstdint>
#include <cstring>

#include "introplayer.h"   // the build's switches

namespace introplayer {

// One pattern cell, five bytes as the file gives them.
struct NoteCell {
    uint8_t note;          // 0 = none, 1..96 = C-0..B-7, 97 = key off (the loader drops others)
    uint8_t instrument;    // 0 = none, else 1-based instrument number
    uint8_t volumeColumn;
    uint8_t effect;        // 0..35 (the loader empties cells' unknown effects)
    uint8_t effectParam;
};

struct PatternSlot {
    uint16_t rowCount;     // rows; 64 for a pattern the file lacks
    uint16_t packedSize;   // the file's packed size (only tested for 0)
    NoteCell* cells;       // rowCount x channelCount cells, row by row; null when none
};

enum SampleLoopType : uint8_t { LoopNone = 0, LoopForward = 1, LoopPingPong = 2 };

struct SampleRecord {
    uint32_t length;       // sample frames
    uint32_t loopStart;    // sample frames
    uint32_t loopLength;   // sample frames
    uint8_t volume;        // 0..64
    int8_t finetune;       // 1/128 semitone
    uint8_t is16Bit;       // source width only: all data is 16-bit
    uint8_t panning;       // 0 left .. 255 right
    int8_t relativeNote;   // semitones
    uint8_t packing;       // 0xAD = 4-bit delta-table packed
    uint8_t loopType;      // SampleLoopType (the file's 3, both bits, is LoopPingPong)
    // length values, then the interpolation pad slot and two more zero slots.
    // data[-1] is always a zero slot too, so interpolation never needs a test.
    // (4-bit packed data of odd length decodes one value more, into data[length];
    // its pad then sits one slot later.) Loops always lie inside 0..length.
    int16_t* data;
};

struct EnvelopePoint {
    uint16_t x;            // tick
    uint16_t y;            // value 0..64
};

enum EnvelopeFlagBits : uint8_t { EnvelopeOn = 1, EnvelopeSustain = 2, EnvelopeLoop = 4 };

struct InstrumentRecord {
    uint32_t sampleCount;            // 0..16
    SampleRecord* samples[16];       // first sampleCount filled, the rest null
    // The 208 bytes after the sample-header-size field, field by field.
    uint8_t sampleMap[96];           // sample number for each note, as the file says:
                                     // entries >= sampleCount name no sample
    EnvelopePoint volumeEnvelope[12];
    EnvelopePoint panningEnvelope[12];
    uint8_t volumePointCount;
    uint8_t panningPointCount;
    uint8_t volumeSustain;
    uint8_t volumeLoopStart;
    uint8_t volumeLoopEnd;
    uint8_t panningSustain;
    uint8_t panningLoopStart;
    uint8_t panningLoopEnd;
    uint8_t volumeEnvelopeFlags;     // EnvelopeFlagBits
    uint8_t panningEnvelopeFlags;
    uint8_t vibratoType;
    uint8_t vibratoSweep;
    uint8_t vibratoDepth;
    uint8_t vibratoRate;
    uint16_t fadeout;                // twice the file value (16-bit)
    char name[23];                   // without controls and bytes >= 128
};

// Size of the XM module header as read by the start call.
constexpr uint32_t ModuleHeaderSize = 336;

// The song header and the global playback state.
struct ModuleRecord {
    PatternSlot* patternTable;       // patternSlotCount slots
    InstrumentRecord* instrumentTable; // instrumentCount records

    // Output and sequencer state (owned by the renderer and the sequencer).
    int32_t tickFramesLeft;
    int32_t globalVolume;
    int32_t globalVolumeHeard;       // the global volume the voices have, from the tick after a change
    int32_t tick;
    int32_t speed;
    int32_t orderPos;
    int32_t row;
    int32_t patternDelayTicks;
    int32_t rowExtraTicks;           // X6x: ticks added to each repeat of this row
    int32_t pendingOrder;            // -1 = none
    int32_t pendingRow;              // -1 = none
    int32_t loopExitRow;             // where the next pattern starts when this one runs out
    uint64_t clockFrames;            // song time in output frames; stands once ended
    int32_t channelCount;            // 0..32
    uint8_t globalVolSlideMem;
    int32_t tickFrames;              // output frames per tick
    uint32_t tempo;                  // beats per minute, as last set
    int32_t playedTick;              // the tick that ran last (tick has moved on)
    bool ended;                      // played once to its end: no more ticks
    bool cameBack;                   // the tick that ran last came back to a row played:
                                     // a pass through the song ended there

    // From the file header.
    uint16_t songLength;
    uint16_t restartPosition;
    uint16_t rawChannelCount;
    uint16_t patternSlotCount;       // file count, replaced by the slot count
    uint16_t instrumentCount;        // low byte used
    uint16_t flags;                  // bit 0: linear frequency table
    bool fineDelays;                 // X6x delays rows: a file saved by OpenMPT
    uint16_t defaultSpeed;
    uint16_t defaultTempo;
    uint8_t orderTable[256];
};

extern ModuleRecord song;   // the loaded song and its playback state

// Ticks in one repeat of the current row: the speed and any X6x ticks.
inline int32_t repeatTicks(const ModuleRecord* m)
{
    const int32_t ticks = m->speed + m->rowExtraTicks;
    return ticks > 0 ? ticks : 1;
}

// Linear periods (flags bit 0), or Amiga periods, which a build may leave out.
inline bool linearPeriods(const ModuleRecord* m = &song)
{
    return !INTROPLAYER_AMIGA_PERIODS || (m->flags & 1) != 0;
}

extern char songTitle[21];
extern const SampleRecord emptySample;
extern uint8_t moduleHeader[ModuleHeaderSize];   // raw header bytes, read by the start call

// Parses the rest of the module through the installed byte source, the header
// already being in moduleHeader. Allocates from the player heap. Nonzero on
// success, 0 on failure.
int loadModule();

// The start call's load sequence on its own, for the start call, tools and
// tests: installs the source (selectSource), opens it, reads the 336-byte
// header into moduleHeader (zeroed first), runs loadModule when it begins with
// "Exte", and closes the source. The player heap must exist. Nonzero on success.
int loadModuleFromSource(int32_t sourceKind, const void* source, uint32_t length);

// True from a successful load until forgetSong, which drops the tables (the
// caller frees the heap they live on).
extern bool songLoaded;
void forgetSong();
// The loaded song's title for any thread: a copy that stays unchanged until
// the second load after it; empty when nothing is loaded.
const char* shownSongTitle();

// Why the last load failed, in words (for tools); empty after a success.
extern char moduleLoadError[160];
#if INTROPLAYER_ERROR_TEXTS
void setLoadError(const char* text);
#else
// Without the texts every failure reads the same.
inline void setLoadError(const char*) { std::memcpy(moduleLoadError, "not loaded", 11); }
#endif

}  // namespace introplayer
