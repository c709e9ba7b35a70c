// Threads on Win32: CreateThread, time-critical priority, join by waiting.
#include "platform.h"

#include <windows.h>

#include <new>

namespace {

struct ThreadStart {
    void (*entry)(void*);
    void* arg;
};

DWORD WINAPI runThread(LPVOID p)
{
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    start.entry(start.arg);
    return 0;
}

}  // namespace

PlatformThread platformStartThread(void (*entry)(void*), void* arg)
{
    ThreadStart* start = new (std::nothrow) ThreadStart{entry, arg};
    if (start == nullptr) return 0;
    HANDLE thread = CreateThread(nullptr, 0, runThread, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
        return 0;
    }
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
