/* The XM module player: plays a module in real time through the platform's
 * audio device, or renders it offline into the caller's buffers. 44,100 Hz,
 * 16-bit stereo, left then right.
 *
 * Threads: there is one player per process. Start, stop, pause, resume and
 * all offline calls belong to one controlling thread at a time; the
 * read-outs (levels, play time, title, position, channels), seek, mute,
 * solo, play-once and the master volume may be called from any thread while
 * a module plays. Real-time playback and offline rendering share the
 * player: starting one ends the other.
 *
 * Song time counts the frames played exactly (milliseconds = frames x 1000
 * / 44,100, the fraction dropped), the same mixed, skipped or in real time;
 * seeks do not set it back, and it stands once a song played once ends.
 *
 * Modules: a module declaring more than 32 channels plays its first 32; a
 * truncated module plays what it has, with silence where its patterns or
 * samples are cut off. A header tempo above 255 (more than the format's
 * own tempo effect can set) is played as written, down to ticks of one
 * frame: rendering such a song costs up to one tick a frame. The names this
 * library defines are the functions below; its internals live in a C++
 * namespace of their own. */
#ifndef INTROPLAYER_H
#define INTROPLAYER_H

#include <stdint.h>

/* Compile-time switches: 1 (built in) unless the build sets them to 0. The
 * size profile (the CMake option INTROPLAYER_SIZE) leaves out what no song
 * can hear: following the music (getPosition, getChannel,
 * getInstrumentStrikes, getSongInfo, getInstrumentName), seek, mute and
 * solo, play-once and the end watch (setPlayOnce, renderCameBack), offline
 * rendering, the file source, named resources (registerModuleResource and
 * the resource source) and the load errors' texts (getLoadError then says
 * only "not loaded"); and it mixes without SSE2 lanes, to the same sums.
 * What some songs need stays in unless the program's author, knowing the
 * song, switches it off: Amiga periods and 4-bit packed samples (a module
 * that needs one then fails to load). What is left out is not declared. */
#ifndef INTROPLAYER_FOLLOW
#define INTROPLAYER_FOLLOW 1
#endif
#ifndef INTROPLAYER_SEEK
#define INTROPLAYER_SEEK 1
#endif
#ifndef INTROPLAYER_END_WATCH
#define INTROPLAYER_END_WATCH 1
#endif
#ifndef INTROPLAYER_OFFLINE
#define INTROPLAYER_OFFLINE 1
#endif
#ifndef INTROPLAYER_FILE_SOURCE
#define INTROPLAYER_FILE_SOURCE 1
#endif
#ifndef INTROPLAYER_NAMED_RESOURCES
#define INTROPLAYER_NAMED_RESOURCES 1
#endif
#ifndef INTROPLAYER_ERROR_TEXTS
#define INTROPLAYER_ERROR_TEXTS 1
#endif
#ifndef INTROPLAYER_SIMD
#define INTROPLAYER_SIMD 1
#endif
#ifndef INTROPLAYER_AMIGA_PERIODS
#define INTROPLAYER_AMIGA_PERIODS 1
#endif
#ifndef INTROPLAYER_PACKED_SAMPLES
#define INTROPLAYER_PACKED_SAMPLES 1
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Where a module comes from (the sourceKind of the start calls).
 * Resources: length 0 names the program itself, on every Windows build.
 * Another module's handle fits in the 32-bit length on 32-bit Windows only;
 * a value that is not a loaded module's handle (a 64-bit handle cut short)
 * is refused, and getLoadError says so. A 64-bit program plays another
 * module's resource as memory: the bytes and size from LockResource and
 * SizeofResource. Blocks given to registerModuleResource are resources of
 * the program on every system (on Windows where the executable has no
 * resource of that name). Any other kind is refused. */
enum PlayerSourceKind {
    PlayerSourceResource = 0, /* source: resource name; length: module handle (0 = the program) */
    PlayerSourceMemory = 1,   /* source: the bytes; length: their count */
    PlayerSourceFile = 2      /* source: a file name; length: unused */
};

/* Makes `length` bytes at `bytes` the program's resource `name` (compared
 * without regard to ASCII case, as on Windows), so that the same code plays
 * it as a resource on every system. The name is copied; the bytes must stay
 * valid while they may be played. Registering a name again replaces it.
 * Returns 1, or 0 when 16 names are registered already, name or bytes is
 * null, or the name is longer than 63 characters. Controlling thread. */
#if INTROPLAYER_NAMED_RESOURCES
int32_t registerModuleResource(const char* name, const void* bytes, uint32_t length);
#endif

/* ---- Real-time playback ----------------------------------------------------- */

/* Stops what plays, then loads the module and plays it on the default audio
 * device until stopped; the song loops. A null source only stops. Returns
 * non-null while it plays, null when the start failed (no device, not a
 * module: getLoadError says which). Controlling thread. */
const void* playModule(const void* source, uint32_t length, int32_t sourceKind);
/* Stops playback and frees the module; also ends an open offline render
 * (renderFrames then gives 0, as after renderClose). Returns 0; harmless
 * when nothing plays. Controlling thread. */
int32_t stopPlayback(void);
/* Pause and resume the device. 0 on success, and 0 with nothing done when
 * nothing plays; otherwise the device's error code. Controlling thread. */
uint32_t pausePlayback(void);
uint32_t resumePlayback(void);
/* Output volume 0 to 64 (the default); larger counts as 64. The output is
 * scaled by 16 / (80 - volume): 64 is full, 32 a third, 1 a fifth; 0 is
 * silence. Holds for later starts and for offline rendering too. Any thread. */
void setMasterVolume(uint32_t volume);
/* The mean absolute level of the block just played: left in the high 16
 * bits, right in the low 16, each 0..32768. While rendering offline, that
 * of the block renderFrames took its last frames from (0 after a skip with
 * a null buffer). Any thread. */
uint32_t getLevels(void);
/* Song time at the end of the block just played, in milliseconds; while
 * rendering offline, that of the next frame renderFrames gives. Any
 * thread. */
uint32_t getPlayTime(void);
/* The song's title (at most 20 characters); empty when nothing is loaded.
 * Any thread at any time: the text returned stays unchanged until the
 * second start after the call. */
const char* getSongTitle(void);

/* ---- Offline rendering --------------------------------------------------------- */
#if INTROPLAYER_OFFLINE

/* Stops real-time playback (and any open render), then loads the module for
 * rendering without a device, positioned at its start. Non-zero on success;
 * on failure 0, and getLoadError says why. */
int32_t renderOpen(const void* source, uint32_t length, int32_t sourceKind);
/* Fills out with the next count frames (2 x count samples), exactly the
 * blocks the device would be given at the current master volume. A null out
 * moves the song on by count frames without mixing them (fast; for measuring
 * a song, the sound after it is not meant to be heard). A seek waiting is
 * taken first (renderFrames(NULL, 0) takes it and does nothing else), and
 * one made from another thread meanwhile at the next block. Returns the
 * frames done: count, or 0 when nothing is open (after renderClose,
 * stopPlayback or a real-time start). */
uint32_t renderFrames(int16_t* out, uint32_t count);
/* 0 while the song has not come back to a row it played already (the repeats
 * of a pattern loop aside); afterwards the frame at which it came back,
 * counted from renderOpen or the last seek: the length of one pass through
 * the song from there. */
#if INTROPLAYER_END_WATCH
uint32_t renderCameBack(void);
#endif
/* Frees what renderOpen loaded. Harmless when nothing is open; never stops
 * real-time playback. */
void renderClose(void);
#endif

/* ---- Following the music ------------------------------------------------------ */
#if INTROPLAYER_FOLLOW

/* The read-outs below describe what is heard. In real time that is the
 * block the device plays (1,024 frames, 23 ms): the refill thread looks at
 * the device every 5 ms, so a read-out is at most about 28 ms behind the
 * ear and never ahead of it. Offline it is the next frame renderFrames
 * gives. Each returns 1, or 0 with nothing filled when nothing plays or the
 * arguments are out of range; while a song plays or is open they never
 * return 0 for want of a moment to describe. Any thread; nothing they do
 * waits on or slows the mixing. At tempos above about 860 BPM (only a
 * module header can ask for them) more ticks start within a block than it
 * keeps moments for: a read-out may then describe a tick of that block
 * earlier than the one heard. */
typedef struct PlayerPosition {
    uint32_t order;        /* entry of the order list */
    uint32_t pattern;      /* the pattern that entry names */
    uint32_t row;
    uint32_t tick;         /* 0 on a row's first tick */
    uint32_t speed;        /* ticks per row */
    uint32_t tempo;        /* beats per minute */
    uint32_t globalVolume; /* 0..64 */
    uint32_t timeMs;       /* song time played, seeks included */
    uint32_t ended;        /* 1 once a song played once has ended */
} PlayerPosition;
int32_t getPosition(PlayerPosition* position);

typedef struct PlayerChannel {
    uint32_t note;         /* last note the pattern gave, 1 (C-0) .. 96 (B-7), also one
                              too high or low to play; 0 before the first */
    uint32_t instrument;   /* 1-based; 0 before the first */
    uint32_t sample;       /* 1-based within the instrument; 0 when none plays */
    uint32_t volume;       /* 0..128 as heard: after envelope, fade-out and global volume */
    uint32_t panning;      /* 0 left .. 255 right, after the panning envelope */
    uint32_t frequency;    /* sample frames per second; 0 when none plays */
    uint32_t sounding;     /* 1 while a sample plays above volume 0, unmuted */
    uint32_t strikes;      /* notes heard struck since the start (retriggers included;
                              a seek takes back those not heard yet) */
    uint32_t lastStrikeMs; /* song time of the latest strike */
} PlayerChannel;
/* Channel 0 .. 31. Polling the strike count shows every strike, however
 * seldom it is read. */
int32_t getChannel(uint32_t channel, PlayerChannel* out);
/* Strikes of instrument 1 .. 255 since the start, and the song time of the
 * latest; these describe the end of the block that getPosition's moment
 * lies in. */
int32_t getInstrumentStrikes(uint32_t instrument, uint32_t* strikes, uint32_t* lastStrikeMs);
#endif

enum PlayerSeekResult {
    PlayerSeekDone = 0,
    PlayerSeekNothingPlays = -1,
    PlayerSeekPastSongEnd = -2,   /* order not below the song length */
    PlayerSeekPastPatternEnd = -3 /* row not below the rows of that order's pattern */
};
#if INTROPLAYER_SEEK
/* Goes on from row `row` of order-list entry `order`, as a start there
 * would: fresh channels, the default speed and tempo, global volume 64; the
 * play time and the strike counts go on from what was heard. A pattern of
 * no rows plays one empty row: its row 0. The seek is checked at once and
 * posted; the renderer takes it. In real time the refill thread takes it
 * within 5 ms and mixes again every block after the one the device plays
 * and the next: the seek is heard 23 to 51 ms after the call (a block later
 * when the device moves on before the refill thread looks), the old sound
 * crossing over to the new in 256 frames. Offline the next renderFrames
 * starts there (the rest of the block in hand is dropped), or, from another
 * thread during a render, its next block. Of seeks made before the renderer
 * looks, the last counts. Any thread. */
int32_t seekPosition(uint32_t order, uint32_t row);
/* Mute or solo channel 0 .. 31 (1 on, 0 off); while any channel is soloed
 * only soloed ones sound. Muted voices ramp out and back in over 220 frames
 * at the next tick. A start clears both. Returns 0 for a channel above 31.
 * Any thread. */
int32_t setChannelMute(uint32_t channel, int32_t muted);
int32_t setChannelSolo(uint32_t channel, int32_t solo);
#endif
#if INTROPLAYER_END_WATCH
/* 1: songs end where they would come back to a row they played (the repeats
 * of a pattern loop aside) instead of looping; switched on after the song
 * has come back, it ends where the pass being played comes back. In real
 * time the sound ramps out there, the play time stops and getPosition says
 * ended; offline renderFrames returns fewer frames than asked at the end,
 * then 0. A song that has ended stays ended (setting 0 does not resume it;
 * a seek plays on from where it goes). Holds for later starts until set to
 * 0 (the default). Any thread. */
void setPlayOnce(int32_t once);
#endif

/* ---- The loaded song ------------------------------------------------------------- */

/* Why the last start or renderOpen failed, in words; empty after a success. */
const char* getLoadError(void);

#if INTROPLAYER_FOLLOW
typedef struct PlayerSongInfo {
    uint32_t channels;
    uint32_t patterns;
    uint32_t instruments;
    uint32_t samples;         /* of all instruments together */
    uint32_t linearFrequencies; /* 1: linear frequency table, 0: Amiga periods */
    uint32_t speed;           /* ticks per row at the start */
    uint32_t tempo;           /* beats per minute at the start */
    uint32_t songLength;      /* entries of the order list */
    uint32_t restart;         /* where the song goes on after its end */
} PlayerSongInfo;

/* The header facts of the loaded module (playing or open for rendering).
 * Returns 0 and leaves info alone when nothing is loaded. Controlling
 * thread. */
int32_t getSongInfo(PlayerSongInfo* info);
/* The name of instrument index (0-based), at most 22 characters; empty when
 * there is no such instrument or nothing is loaded. Valid until the next
 * start, stop or renderClose. Controlling thread. */
const char* getInstrumentName(uint32_t index);
#endif

#ifdef __cplusplus
}
#endif

#endif
