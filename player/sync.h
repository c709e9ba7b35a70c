// What a program follows the music by: snapshots of the song's position and
// channels taken as each block is mixed and published with it, so that a
// read-out describes what is heard; strike counts; mute and solo; seeking
// and playing once. The refill thread writes, any thread reads, no locks.
#pragma once

#include <atomic>
#include <cstdint>

namespace introplayer {

struct ChannelState;
struct SampleRecord;
struct Voice;

constexpr int32_t InstrumentSlots = 256;

// A note (or a retrigger) started a sample on the channel at this tick:
// counted for the channel and the instrument, kept across seeks.
void countStrike(const ChannelState* channel, const SampleRecord* sample);

// Channels that sound, one bit each: mute and solo as last applied by the
// mixing thread. A muted channel's voices aim at silence.
extern uint32_t audibleChannels;
// Takes mute and solo as the controlling thread set them; re-aims every
// voice when they changed. At every block start and tick.
void applyMuteAndSolo();
// Resets strikes, mute and solo for a new start.
void resetSync();

// Snapshots of ring block `block`: the one at its first frame, then one at
// each tick that starts within it (frame = its offset in the block).
void beginBlockSnapshots(int32_t block);
void takeTickSnapshot(int32_t block, int32_t frame);
void endBlockSnapshots(int32_t block);

// Whether songs end instead of looping, as the controlling thread set it.
extern std::atomic<uint32_t> playOnce;

// Puts the song back to its start state at order, row (a seek): fresh
// channels and voices, the default speed and tempo; the play time and the
// strike counts go on.
void restartSongAt(int32_t order, int32_t row);

// The seek's validity: PlayerSeekDone or the refusal.
int32_t checkSeek(uint32_t order, uint32_t row);

// The real-time seek waiting for the refill thread: order << 16 | row, or
// NoSeek.
constexpr uint32_t NoSeek = 0xFFFFFFFFu;
extern std::atomic<uint32_t> pendingSeek;

// Which snapshot the read-outs describe: ring block `slot` (or LiveSlot,
// the state as it stands) at `frame` frames into it. In real time the
// refill thread names the block the device plays; offline the renderer
// names the next frame it gives. Nothing is described after a stop.
constexpr int32_t LiveSlot = 16;
void describe(int32_t slot, int32_t frame);
void describeNothing();
// Offline, between blocks: the state as it stands is the next frame's.
void snapshotLive();

}  // namespace introplayer
