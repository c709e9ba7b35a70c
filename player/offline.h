// Offline rendering: the very blocks the device would be given, handed out
// into the caller's buffers, or skipped without mixing.
#pragma once

#include <cstdint>

#include "introplayer.h"   // the build's switches

namespace introplayer {

#if INTROPLAYER_OFFLINE
// With the song loaded: its start state, described from its first frame.
void openOffline();
// Forgets the render (the song is freed by the caller). Harmless when none
// is open.
void closeOffline();
bool offlineOpen();
// The next `count` frames into out (2 x count samples), or skipped when out
// is null; a waiting seek is taken first and at every block. Returns the
// frames done: fewer than asked where a song played once ends.
uint32_t renderOffline(int16_t* out, uint32_t count);
#else
inline void closeOffline() {}
#endif

}  // namespace introplayer
