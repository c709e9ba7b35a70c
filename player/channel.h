// The sequencer's per-channel record and the flags through which a tick asks
// for its results to be pushed into the channel's mixer voice.
#pragma once

#include <cstdint>

namespace introplayer {

struct Voice;

constexpr int ChannelCountMax = 32;
constexpr uint8_t NoInstrument = 255;   // instrumentIndex of a channel given none yet
constexpr int32_t FadeStart = 65536;    // fadeVolume of a note not fading

enum UpdateFlagBits : uint8_t {
    UpdatePitch = 1,      // recompute the voice's step from period and periodDelta
    UpdateVolume = 2,     // recompute mixVolume and both target gains
    UpdatePanning = 4,    // recompute finalPan and both target gains
    StartSample = 8,      // start the looked-up sample on the channel's voice
    ResetPosition = 16,   // an out-of-range sample offset: the voice falls silent
};

// Where a tone portamento slides: set by its target note, changed on arrival.
enum PortaDirection : uint8_t {
    PortaEitherWay = 0,   // towards the target, whichever side it lies
    PortaUp = 1,          // towards larger periods
    PortaDown = 2,        // towards smaller periods
    PortaUpOnly = 3,      // arrived going down: only towards larger periods
};

struct ChannelState {
    uint8_t noteIndex;         // last stored note, 0-based
    uint8_t noteTaken;         // 1 once a note was stored (even one out of range)
    uint8_t updateFlags;       // UpdateFlagBits
    uint8_t instrumentIndex;   // instrument of the playing note, 0-based (NoInstrument: none)
    Voice* voice;              // the voice this channel drives now
    int32_t period;            // linear or Amiga units
    int32_t volume;            // 0..64 after every apply
    int32_t volumeDelta;       // this tick only (tremolo, tremor)
    int32_t periodDelta;       // this tick only (vibrato, arpeggio, auto-vibrato), added to the period
    int32_t panning;           // 0..255, 128 centre
    int32_t volEnvTick;
    int32_t volEnvPoint;
    int32_t volEnvSlope;       // 16.16 per tick
    int32_t panEnvPoint;
    int32_t panEnvTick;
    int32_t panEnvSlope;       // 16.16 per tick
    int32_t autoVibSweep;
    int32_t autoVibPos;        // 0..255
    uint8_t keyOff;            // released while nonzero
    uint8_t volEnvDone;
    uint8_t panEnvDone;
    uint8_t panEnvHeld;        // the panning envelope stood at its sustain point on the last step
    uint8_t tremorPos;         // Txy: bit 7 set while sounding, below it the ticks left
    uint8_t tremorMute;        // the tremor left the channel silent, until its volume is set
    int32_t volEnvValue;       // 16.16
    int32_t envVolume;         // 0..64
    int32_t panEnvValue;       // 16.16
    int32_t envPanning;        // 0..64, 32 neutral
    int32_t fadeVolume;        // 65536 = full
    int32_t notePeriod;        // period of the last note decoded
    int32_t sampleOffsetMem;   // sample frames
    int32_t portaTarget;
    int32_t loopRow;
    int32_t loopCount;
    uint8_t realNote;          // note + relative note, 0-based, 8-bit
    uint8_t portaDownMem;
    uint8_t portaUpMem;
    uint8_t xfinePortaDownMem;
    uint8_t xfinePortaUpMem;
    uint8_t volSlideMem;
    uint8_t panSlideMem;
    uint8_t retrigVolume;      // Rxy: x and y, each kept until a nonzero one replaces it
    uint8_t retrigInterval;
    uint8_t retrigCount;       // Rxy: ticks since the last retrigger
    uint8_t portaSpeed;
    uint8_t portaDirection;    // PortaDirection
    int8_t vibPos;             // -32..31
    uint8_t vibSpeed;
    uint8_t vibDepth;
    int8_t tremPos;            // -32..31
    uint8_t tremSpeed;
    uint8_t tremDepth;
    uint8_t tremorOn;
    uint8_t tremorOff;
    uint8_t waveControl;       // low nibble vibrato control, high nibble tremolo control
    uint8_t fineVolUpMem;      // EAx and the volume column's 9y
    uint8_t fineVolDownMem;    // EBx and the volume column's 8y
    uint8_t finePortaUpMem;
    uint8_t finePortaDownMem;
    uint8_t pendingInstrument; // 1-based number given without a note: the next note takes it
    uint8_t glissando;         // E3x: nonzero while tone portamento slides in semitones
    int32_t glissandoFrom;     // the period the last glissando step was heard at...
    int32_t glissandoHeard;    // ...and the semitone heard for it
    int8_t noteFinetune;       // finetune of the last note decoded (the sample's, or E5x's)
};

extern ChannelState channels[ChannelCountMax];

// The other voice of a channel's pair: k + 32 below 32, k - 32 above.
Voice* twinVoice(Voice* voice);

}  // namespace introplayer
