// Threads on Win32: CreateThread, time-critical priority, join by waiting.
#include "platform.h"

#include <windows.h>

namespace introplayer {

namespace {

DWORD WINAPI runThread(LPVOID entry)
{
    reinterpret_cast<void (*)()>(entry)();
    return 0;
}

}  // namespace

PlatformThread platformStartThread(void (*entry)())
{
    HANDLE thread = CreateThread(nullptr, 0, runThread, reinterpret_cast<LPVOID>(entry), 0, nullptr);
    return reinterpret_cast<PlatformThread>(thread);
}

void platformRaiseThreadPriority(PlatformThread thread)
{
    SetThreadPriority(reinterpret_cast<HANDLE>(thread), THREAD_PRIORITY_TIME_CRITICAL);
}

void platformJoinThread(PlatformThread thread)
{
    if (thread == 0) return;
    WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
    CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void platformSleep(uint32_t ms) { Sleep(ms); }

}  // namespace introplayer
