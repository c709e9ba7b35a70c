// Loads arbitrary bytes as a module from memory, walks the song the way the
// engine will, so any out-of-range pointer or count shows up here, and then
// plays the first blocks through the sequencer and the mixer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "module.h"
#include "song.h"
#include "sources.h"

using namespace introplayer;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void walkSong() {
    uint32_t sum = 0;
    require(song.channelCount >= 0 && song.channelCount <= 32);
    require(song.songLength <= 256);
    for (uint32_t p = 0; p < song.patternSlotCount; p++) {
        const PatternSlot& slot = song.patternTable[p];
        if (slot.cells == nullptr) continue;
        uint32_t cells = (uint32_t)slot.rowCount * (uint32_t)song.channelCount;
        for (uint32_t i = 0; i < cells; i++) {
            if (i == 64 && cells > 128) i = cells - 64;   // both ends of long patterns
            const NoteCell& cell = slot.cells[i];
            require(cell.note <= 97 && cell.effect <= 35 && cell.instrument <= song.instrumentCount);
            sum += cell.volumeColumn + cell.effectParam;
        }
    }
    for (uint32_t i = 0; i < song.instrumentCount; i++) {
        const InstrumentRecord& ins = song.instrumentTable[i];
        require(ins.sampleCount <= 16);
        require(ins.volumePointCount <= 12 && ins.panningPointCount <= 12);
        for (uint32_t k = 0; k < ins.sampleCount; k++) {
            const SampleRecord* s = ins.samples[k];
            require(s != nullptr && s->data != nullptr);
            require((uint64_t)s->loopStart + s->loopLength <= s->length);
            require(s->loopType != LoopNone || (s->loopStart == 0 && s->loopLength == s->length));
            require(s->data[-1] == 0);
            // The edges are what matters (the mixer reads up to the pad and
            // beyond); walking every value of a long sample only costs time.
            for (uint32_t f = 0; f < s->length + 3; f++) {
                if (f == 64 && s->length > 128) f = s->length - 61;
                sum += (uint16_t)s->data[f];
            }
        }
    }
    volatile uint32_t sink = sum;
    (void)sink;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) return 0;
    createPlayerHeap();
    static const uint8_t none = 0;
    if (loadModuleFromSource(SourceMemory, size ? data : &none, (uint32_t)size)) {
        walkSong();
        // About half a second: enough ticks for rows, effects, envelopes and
        // loop ends to run, few enough to keep thousands of inputs a second.
        setMasterVolume(64);
        startSongPlayback();
        for (int block = 0; block < 24; block++) renderBlock();
    }
    destroyPlayerHeap();
    return 0;
}
