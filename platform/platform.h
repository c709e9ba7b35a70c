// The one seam between the shared code and the operating system. Each function
// has a Win32 side (platform/win32) and an SDL2/POSIX side (platform/sdl);
// everything outside platform/ is shared and tested natively.
#pragma once

#include <cstdint>

namespace introplayer {

// ---- Display (window and GL context), presentation, keyboard, sleep --------

// Creates the window and its OpenGL context and makes the context current on
// the calling thread; hides the cursor. fullScreen: a borderless window that
// covers the screen; otherwise a bordered pop-up of width x height at (x, y).
void platformOpenDisplay(bool fullScreen, int32_t x, int32_t y, int32_t width, int32_t height);

// Size of the screen in pixels (what the full-screen window covers).
void platformScreenSize(int32_t* width, int32_t* height);

// Shows the frame just drawn (swaps the buffers of the display's window).
void platformPresent();

// Polled state of the Escape key as a 16-bit key state: 0x8000 set while the
// key is down now, 0x0001 set when it was pressed since the previous poll.
// So 0x8001 = down and newly pressed, 0x8000 = held, 0x0001 = pressed and
// already released, 0 = nothing. The SDL side pumps its event queue here.
int16_t platformEscapeState();

// Sleeps for about ms milliseconds.
void platformSleep(uint32_t ms);

// ---- Resources: named binary blobs inside the executable --------------------

// Finds the RT_RCDATA-style resource `name` of the loaded module `module`
// (0 = the executable). Returns its bytes and stores its size, or returns
// null and stores 0 when there is no such resource, or when `module` is
// neither 0 nor the handle of a loaded module.
const uint8_t* platformFindResource(uintptr_t module, const char* name, uint32_t* size);

// Adds a blob to the executable's resources under `name` (the program does
// this at start-up for what it embeds). The SDL side has no resource section,
// so this table is where platformFindResource looks; the Win32 side consults
// it only when the real resource is missing. The name and the bytes must stay
// valid while the program runs. False when the table is full.
bool platformRegisterResource(const char* name, const uint8_t* data, uint32_t size);

// ---- Files (read only) -------------------------------------------------------

typedef uintptr_t PlatformFile;  // 0 = not open

PlatformFile platformFileOpen(const char* path);
// Reads up to count bytes; returns how many were read (0 at the end or on error).
uint32_t platformFileRead(PlatformFile file, void* dest, uint32_t count);
// origin 0: from the start, 1: from the current position. Returns the new
// position, or -1 when the seek failed (the position is then unchanged).
int64_t platformFileSeek(PlatformFile file, int64_t offset, int origin);
// Size of the file in bytes, or -1 when it cannot be told.
int64_t platformFileSize(PlatformFile file);
void platformFileClose(PlatformFile file);

// ---- Audio device: one looping ring of 16-bit stereo at 44,100 Hz -----------

// Opens the default output device. False when there is none.
bool audioDeviceOpen();
// Starts playing `bytes` bytes at `ring` in an endless loop. The ring stays
// owned by the caller and is read by the device while it plays.
void audioDeviceStartLoop(const uint8_t* ring, uint32_t bytes);
// Bytes played since the loop started (wraps at 2^32).
uint32_t audioDevicePosition();
// The ring's blocks rendered so far are written: the hand-over to a device
// that reads the ring from a thread of its own. Called by the refill thread.
void audioDeviceRingWritten();
// Pause and resume; return 0 on success (like waveOutPause / waveOutRestart).
uint32_t audioDevicePause();
uint32_t audioDeviceResume();
// Stops playback and closes the device (reset, unprepare, close).
void audioDeviceClose();

// ---- Threads -----------------------------------------------------------------

typedef uintptr_t PlatformThread;  // 0 = none

// Starts `entry()` on a new thread; 0 when it cannot be created. The entry
// takes no argument: it travels as the thread's one start word, so nothing is
// allocated for it.
PlatformThread platformStartThread(void (*entry)());
// Raises the thread to the highest priority the platform grants (time-critical
// on Windows; best effort elsewhere).
void platformRaiseThreadPriority(PlatformThread thread);
// Waits for the thread to end and releases its handle.
void platformJoinThread(PlatformThread thread);

}  // namespace introplayer
