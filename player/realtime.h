// Real-time playback: the audio device playing the ring in an endless loop,
// and the refill thread that keeps the blocks ahead of it rendered.
#pragma once

#include <cstdint>

namespace introplayer {

// The audio device the player drives: the platform's by default. Tests install
// one of their own whose position they drive.
struct AudioDevice {
    bool (*open)();
    void (*startLoop)(const uint8_t* ring, uint32_t bytes);
    uint32_t (*position)();   // bytes played since the loop started
    uint32_t (*pause)();
    uint32_t (*resume)();
    void (*close)();
    void (*ringWritten)();    // after each block rendered; may be null
};
// Installs the device used by the next start; null selects the platform's.
void useAudioDevice(const AudioDevice* device);

// Opens the device; false when there is none (getLoadError says so).
bool openDevice();
// With the song loaded: renders the whole ring, starts the device looping
// it and the refill thread. False when the thread cannot be started.
bool startDevicePlayback();
// Ends the refill thread, then closes the device. Harmless when neither
// runs.
void stopDevicePlayback();
// 0, or the device's error code; 0 with nothing done when no device is open.
uint32_t pauseDevice();
uint32_t resumeDevice();

}  // namespace introplayer
