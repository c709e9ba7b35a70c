// Threads on Win32: CreateThread, time-critical priority, join by waiting.
#include "platform.h"

#include <windows.h>

namespace introplayer {

namespace {

struct ThreadStart {
    void (*entry)(void*);
    void* arg;
};

DWORD WINAPI runThread(LPVOID p)
{
    ThreadStart start = *static_cast<ThreadStart*>(p);
    HeapFree(GetProcessHeap(), 0, p);
    start.entry(start.arg);
    return 0;
}

}  // namespace

PlatformThread platformStartThread(void (*entry)(void*), void* arg)
{
    // The process heap rather than operator new: the latter drags the C++
    // exception runtime into the executable.
    ThreadStart* start = static_cast<ThreadStart*>(HeapAlloc(GetProcessHeap(), 0, sizeof(ThreadStart)));
    if (start == nullptr) return 0;
    start->entry = entry;
    start->arg = arg;
    HANDLE thread = CreateThread(nullptr, 0, runThread, start, 0, nullptr);
    if (thread == nullptr) {
        HeapFree(GetProcessHeap(), 0, start);
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

}  // namespace introplayer
