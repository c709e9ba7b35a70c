// Audio device on Win32: waveOut with one prepared header over the whole ring,
// played in an endless device loop; no callbacks, the byte position is polled.
#include "platform.h"

#include <windows.h>
#include <mmsystem.h>

namespace introplayer {

namespace {

HWAVEOUT deviceHandle;
WAVEHDR ringHeader;
bool headerPrepared;

}  // namespace

bool audioDeviceOpen()
{
    if (deviceHandle != nullptr) return false;
    // The 16-byte PCM format record (no extra-size field): 44.1 kHz, 16-bit
    // stereo.
    static const PCMWAVEFORMAT format = {{WAVE_FORMAT_PCM, 2, 44100, 176400, 4}, 16};
    MMRESULT r = waveOutOpen(&deviceHandle, WAVE_MAPPER, reinterpret_cast<LPCWAVEFORMATEX>(&format),
                             0, 0, CALLBACK_NULL);
    if (r != MMSYSERR_NOERROR) {
        deviceHandle = nullptr;
        return false;
    }
    return true;
}

void audioDeviceStartLoop(const uint8_t* ring, uint32_t bytes)
{
    if (deviceHandle == nullptr) return;
    ZeroMemory(&ringHeader, sizeof ringHeader);
    ringHeader.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(ring));
    ringHeader.dwBufferLength = bytes;
    ringHeader.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    ringHeader.dwLoops = 0xFFFFFFFF;
    waveOutPrepareHeader(deviceHandle, &ringHeader, sizeof ringHeader);
    headerPrepared = true;
    waveOutWrite(deviceHandle, &ringHeader, sizeof ringHeader);
}

// The device reads the ring by itself, past any ordering of this program's.
void audioDeviceRingWritten() {}

uint32_t audioDevicePosition()
{
    if (deviceHandle == nullptr) return 0;
    MMTIME positionQuery{};
    positionQuery.wType = TIME_BYTES;
    waveOutGetPosition(deviceHandle, &positionQuery, sizeof positionQuery);
    return positionQuery.u.cb;
}

uint32_t audioDevicePause()
{
    return deviceHandle != nullptr ? waveOutPause(deviceHandle) : 0;
}

uint32_t audioDeviceResume()
{
    return deviceHandle != nullptr ? waveOutRestart(deviceHandle) : 0;
}

void audioDeviceClose()
{
    if (deviceHandle == nullptr) return;
    waveOutReset(deviceHandle);
    if (headerPrepared) {
        waveOutUnprepareHeader(deviceHandle, &ringHeader, sizeof ringHeader);
        headerPrepared = false;
    }
    waveOutClose(deviceHandle);
    deviceHandle = nullptr;
}

}  // namespace introplayer
