// Threads on POSIX: pthreads, with a real-time priority where the system
// grants one (that usually needs privileges; without them the thread keeps the
// normal priority, which the ring's 370 ms of buffer covers).
#include "platform.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <cerrno>

namespace introplayer {

namespace {

void* runThread(void* entry)
{
    reinterpret_cast<void (*)()>(entry)();
    return nullptr;
}

}  // namespace

PlatformThread platformStartThread(void (*entry)())
{
    pthread_t thread;
    if (pthread_create(&thread, nullptr, runThread, reinterpret_cast<void*>(entry)) != 0) return 0;
    static_assert(sizeof(pthread_t) <= sizeof(PlatformThread), "pthread_t must fit a handle");
    return static_cast<PlatformThread>(thread);
}

void platformRaiseThreadPriority(PlatformThread thread)
{
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    pthread_setschedparam(static_cast<pthread_t>(thread), SCHED_FIFO, &param);
}

void platformJoinThread(PlatformThread thread)
{
    if (thread != 0) pthread_join(static_cast<pthread_t>(thread), nullptr);
}

void platformSleep(uint32_t ms)
{
    timespec duration{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&duration, &duration) != 0 && errno == EINTR) {
    }
}

}  // namespace introplayer
