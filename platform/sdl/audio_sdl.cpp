// Audio device on SDL2: the callback hands out the caller's ring in an endless
// loop and counts the bytes it has handed to the device. The play position,
// as a waveform device's byte position would give it, is that count less
// the buffer SDL plays from: what it last took is what sounds now.
#include "platform.h"

#include <SDL.h>

#include <atomic>
#include <cstring>

namespace introplayer {

namespace {

struct AudioOutput {
    SDL_AudioDeviceID device;
    const uint8_t* ring;
    uint32_t ringBytes;
    std::atomic<uint32_t> bytesHanded;   // wraps at 2^32 like the device position
    uint32_t bufferBytes;                // what one callback takes
    std::atomic<uint32_t> pastFirstBuffer;   // 1 once the count has passed bufferBytes
    std::atomic<uint32_t> ringWrites;    // blocks the refill thread has handed over
    bool subsystemStarted;
};

AudioOutput output;

void SDLCALL feedDevice(void*, Uint8* stream, int len)
{
    if (output.ring == nullptr) {
        std::memset(stream, 0, static_cast<size_t>(len));
        return;
    }
    // Acquire: what the refill thread wrote before its last hand-over is
    // what this copies (it runs far enough ahead that this is all of it).
    output.ringWrites.load(std::memory_order_acquire);
    uint32_t position = output.bytesHanded.load(std::memory_order_relaxed);
    uint32_t left = static_cast<uint32_t>(len);
    while (left > 0) {
        uint32_t offset = position % output.ringBytes;
        uint32_t n = output.ringBytes - offset;
        if (n > left) n = left;
        std::memcpy(stream, output.ring + offset, n);
        stream += n;
        left -= n;
        position += n;
    }
    // Release: the refill thread overwrites what was just copied only after
    // it has seen the new position.
    output.bytesHanded.store(position, std::memory_order_release);
}

}  // namespace

bool audioDeviceOpen()
{
    if (output.device != 0) return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    output.subsystemStarted = true;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = 44100;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = 1024;   // one ring block per callback
    want.callback = feedDevice;
    SDL_AudioSpec have;
    output.ring = nullptr;
    output.ringBytes = 0;
    output.bytesHanded.store(0, std::memory_order_relaxed);
    output.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (output.device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        output.subsystemStarted = false;
        return false;
    }
    output.bufferBytes = have.size;
    return true;
}

void audioDeviceStartLoop(const uint8_t* ring, uint32_t bytes)
{
    if (output.device == 0 || ring == nullptr || bytes == 0) return;
    SDL_LockAudioDevice(output.device);
    output.ring = ring;
    output.ringBytes = bytes;
    output.bytesHanded.store(0, std::memory_order_relaxed);
    output.pastFirstBuffer.store(0, std::memory_order_relaxed);
    SDL_UnlockAudioDevice(output.device);
    SDL_PauseAudioDevice(output.device, 0);
}

uint32_t audioDevicePosition()
{
    const uint32_t handed = output.bytesHanded.load(std::memory_order_acquire);
    if (!output.pastFirstBuffer.load(std::memory_order_relaxed)) {
        if (handed < output.bufferBytes) return 0;
        output.pastFirstBuffer.store(1, std::memory_order_relaxed);
    }
    return handed - output.bufferBytes;   // modulo 2^32, as the count wraps
}

void audioDeviceRingWritten() { output.ringWrites.fetch_add(1, std::memory_order_release); }

uint32_t audioDevicePause()
{
    if (output.device == 0) return 0;
    SDL_PauseAudioDevice(output.device, 1);
    return 0;
}

uint32_t audioDeviceResume()
{
    if (output.device == 0) return 0;
    if (output.ring != nullptr) SDL_PauseAudioDevice(output.device, 0);
    return 0;
}

void audioDeviceClose()
{
    if (output.device != 0) {
        SDL_CloseAudioDevice(output.device);   // waits for a running callback
        output.device = 0;
    }
    if (output.subsystemStarted) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        output.subsystemStarted = false;
    }
    output.ring = nullptr;
    output.ringBytes = 0;
    output.bytesHanded.store(0, std::memory_order_relaxed);
}

}  // namespace introplayer
