// What a program that follows the music relies on, through the header alone,
// grouped by what breaks it: the song clock, strikes, seeks, play once and
// the read-outs; then the same from a second thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "introplayer.h"
#include "xmwriter.h"

namespace {

// One note at the start of a 16-row pattern on each of `channels` channels
// (the last of `instruments` instruments), looping on, or short.
XmModule tune(uint16_t tempo = 125, uint16_t channels = 1, uint8_t instruments = 1, bool looping = true) {
    XmModule m;
    m.channels = channels;
    m.tempo = tempo;
    m.speed = 3;
    m.orders = {0};
    XmPattern& p = m.addPattern(16);
    for (uint16_t c = 0; c < channels; ++c)
        p.at(0, c) = xmNote(49, instruments);
    for (uint8_t i = 0; i < instruments; ++i)
        m.addInstrument(xmSample8(std::vector<int32_t>(64, 90)).loop(0, looping ? 64 : 0, looping ? 1 : 0));
    return m;
}

std::vector<uint8_t> bytesOf(const XmModule& m) { return writeXm(m); }

bool open(const std::vector<uint8_t>& bytes) {
    return renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory) == 1;
}

uint32_t strikesOf(uint32_t instrument) {
    uint32_t strikes = 0, lastMs = 0;
    EXPECT_EQ(getInstrumentStrikes(instrument, &strikes, &lastMs), 1);
    return strikes;
}

uint32_t renderAll(std::vector<int16_t>& buffer) {
    uint32_t total = 0, n;
    while ((n = renderFrames(buffer.data(), uint32_t(buffer.size() / 2))) > 0 && total < 44100u * 600)
        total += n;
    return total;
}

using Case = std::pair<const char*, std::function<void()>>;

TEST(FollowPromises, OnOneThread) {
    std::vector<int16_t> second(2 * 44100);
    const Case cases[] = {
        // An hour, mixed, skipped or half of each, reads an hour at every
        // tempo, and the three stand at the same row and tick (at 1,000 BPM
        // more ticks start in a block than it keeps moments for).
        {"the clock counts frames exactly", [&] {
             for (uint16_t tempo : {97, 125, 150, 1000}) {
                 const std::vector<uint8_t> bytes = bytesOf(tune(tempo, 1, 1, false));
                 PlayerPosition end[3];
                 for (int mode = 0; mode < 3; ++mode) {
                     ASSERT_TRUE(open(bytes));
                     for (int s = 0; s < 3600; ++s)
                         renderFrames(mode == 0 || (mode == 2 && s < 1800) ? second.data() : nullptr, 44100);
                     EXPECT_EQ(getPlayTime(), 3600000u) << tempo << " mode " << mode;
                     ASSERT_TRUE(getPosition(&end[mode]));
                     EXPECT_EQ(end[mode].timeMs, 3600000u) << tempo << " mode " << mode;
                 }
                 for (int mode = 1; mode < 3; ++mode)
                     EXPECT_EQ(end[mode].row * 100 + end[mode].tick, end[0].row * 100 + end[0].tick) << tempo;
             }
         }},
        {"strikes: none from the song before, none out of range, none unheard", [&] {
             ASSERT_TRUE(open(bytesOf(tune(125, 1, 8))));
             renderFrames(second.data(), 1000);
             EXPECT_EQ(strikesOf(8), 1u);
             renderClose();
             ASSERT_TRUE(open(bytesOf(tune(125, 1, 2))));
             renderFrames(second.data(), 1000);
             EXPECT_EQ(strikesOf(8), 0u);
             EXPECT_EQ(strikesOf(2), 1u);
             uint32_t strikes = 7, lastMs = 7;
             EXPECT_EQ(getInstrumentStrikes(256, &strikes, &lastMs) + getInstrumentStrikes(0, &strikes, &lastMs), 0);
             EXPECT_EQ(strikes + lastMs, 14u);
             // Seeks with nothing heard between them strike row 0 once.
             for (int i = 0; i < 100; ++i) {
                 EXPECT_EQ(seekPosition(0, 0), PlayerSeekDone);
                 renderFrames(nullptr, 0);
             }
             renderFrames(second.data(), 1000);
             EXPECT_EQ(strikesOf(2), 2u);
             // A seek drops the rest of the block in hand with its strikes:
             // row 1 at frame 882 was rendered, never given.
             renderClose();
             XmModule m = tune(125, 1, 1);
             m.speed = 1;
             m.patterns[0].at(1, 0) = xmNote(50, 1);
             ASSERT_TRUE(open(bytesOf(m)));
             renderFrames(second.data(), 500);
             seekPosition(0, 5);
             renderFrames(second.data(), 100);
             EXPECT_EQ(strikesOf(1), 1u);
         }},
        {"seeks: a pass is measured from the seek; a pattern of no rows has row 0", [&] {
             XmModule m = tune();
             m.orders = {0, 1, 0};
             m.addPattern(0);
             const std::vector<uint8_t> bytes = bytesOf(m);
             ASSERT_TRUE(open(bytes));
             renderFrames(nullptr, 20000);
             EXPECT_EQ(seekPosition(2, 0), PlayerSeekDone);
             EXPECT_EQ(seekPosition(1, 1), PlayerSeekPastPatternEnd);
             EXPECT_EQ(seekPosition(1, 0), PlayerSeekDone);
             renderFrames(nullptr, 0);
             PlayerPosition at{};
             ASSERT_TRUE(getPosition(&at));
             EXPECT_EQ(at.order * 100 + at.row + at.pattern * 1000, 1100u);
             EXPECT_EQ(at.timeMs, 20000u * 1000 / 44100);
             // From order 1: its row, then order 2's 16, then order 0 again.
             renderFrames(nullptr, 200000);
             EXPECT_EQ(renderCameBack(), 33u * 3 * 882);
         }},
        {"play once: switched on late, the pass being played ends", [&] {
             const std::vector<uint8_t> bytes = bytesOf(tune());
             const uint32_t pass = 16 * 3 * 882;
             ASSERT_TRUE(open(bytes));
             renderFrames(nullptr, pass + 5000);
             setPlayOnce(1);
             std::vector<int16_t> buffer(2 * 1000);
             EXPECT_EQ(renderAll(buffer), pass - 5000);
             setPlayOnce(0);
             EXPECT_EQ(renderFrames(buffer.data(), 1000), 0u) << "an ended song stays ended";
             PlayerPosition at{};
             ASSERT_TRUE(getPosition(&at));
             EXPECT_EQ(at.ended, 1u);
             EXPECT_EQ(at.timeMs, uint32_t(uint64_t(2 * pass) * 1000 / 44100));
             EXPECT_EQ(seekPosition(0, 0), PlayerSeekDone);
             EXPECT_EQ(renderFrames(buffer.data(), 1000), 1000u) << "a seek plays on";
         }},
        // Rows 282..285 three times, then E61 goes back with the count the
        // loop left: the song comes back there, in a pattern of 300 rows.
        {"play once: a loop past row 255 ends", [&] {
             XmModule m = tune(250);
             m.speed = 1;
             m.patterns.clear();
             XmPattern& p = m.addPattern(300);
             p.at(0, 0) = xmNote(49, 1);
             p.at(282, 0) = xmEffect(0xE, 0x60);
             p.at(285, 0) = xmEffect(0xE, 0x62);
             p.at(286, 0) = xmEffect(0xE, 0x61);
             ASSERT_TRUE(open(bytesOf(m)));
             setPlayOnce(1);
             std::vector<int16_t> buffer(2 * 4096);
             EXPECT_EQ(renderAll(buffer), 295u * 441);
             setPlayOnce(0);
         }},
        // Note 1 with relative note -12 is below C-0: asked for, not heard.
        // An effect that moves the pitch before any note leaves no note.
        {"the channel's note is the pattern's", [&] {
             XmModule m = tune();
             m.patterns[0].at(0, 0) = xmNote(1, 1);
             m.instruments[0].samples[0].relativeNote = -12;
             ASSERT_TRUE(open(bytesOf(m)));
             PlayerChannel ch{};
             ASSERT_TRUE(getChannel(0, &ch));
             EXPECT_EQ(ch.note * 10 + ch.sounding, 10u);
             m.patterns[0].at(0, 0) = xmEffect(0x21, 0x1F);
             ASSERT_TRUE(open(bytesOf(m)));
             renderFrames(nullptr, 3000);
             ASSERT_TRUE(getChannel(0, &ch));
             EXPECT_EQ(ch.note, 0u);
             // A note with a volume but no instrument has no sample to sound.
             m.patterns[0].at(0, 0) = xmNote(46, 0, 0x40);
             ASSERT_TRUE(open(bytesOf(m)));
             ASSERT_TRUE(getChannel(0, &ch));
             EXPECT_EQ(ch.note * 10 + ch.sounding, 460u);
         }},
        // 2FF on every row at a tick a frame: 2.2 million ticks of sliding
        // down stay within 32 bits, at the lowest pitch.
        {"a slide of hours", [&] {
             XmModule m = tune();
             m.flags = 0;
             m.speed = 31;
             m.tempo = 65535;
             m.orders = {0, 1};
             m.restart = 1;
             XmPattern& slide = m.addPattern(1);
             slide.at(0, 0) = xmEffect(0x2, 0xFF);
             ASSERT_TRUE(open(bytesOf(m)));
             for (int i = 0; i < 22; ++i)
                 renderFrames(nullptr, 100000);
             PlayerChannel ch{};
             ASSERT_TRUE(getChannel(0, &ch));
             EXPECT_NEAR(ch.frequency, 100, 1);
         }},
        {"nothing plays: nothing is written", [&] {
             renderClose();
             PlayerPosition at;
             std::memset(&at, 0x5A, sizeof at);
             const PlayerPosition before = at;
             EXPECT_EQ(getPosition(&at), 0);
             EXPECT_EQ(std::memcmp(&at, &before, sizeof at), 0);
         }},
        {"a freed name: the table keeps its own copy", [&] {
             const std::vector<uint8_t> bytes = bytesOf(tune());
             char* name = strdup("Tune");
             EXPECT_EQ(registerModuleResource(name, bytes.data(), uint32_t(bytes.size())), 1);
             std::memset(name, 'x', 4);
             std::free(name);
             EXPECT_EQ(registerModuleResource("another", bytes.data(), 4), 1);
             EXPECT_EQ(registerModuleResource(std::string(64, 'n').c_str(), bytes.data(), 4), 0);
             EXPECT_EQ(renderOpen("TUNE", 0, PlayerSourceResource), 1) << getLoadError();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        c.second();
        renderClose();
    }
}

TEST(FollowPromisesAcrossThreads, ReadersWritersAndSeekers) {
    std::vector<int16_t> frames(2 * 4096);
    const Case cases[] = {
        {"mute from two threads: every change lands", [&] {
             ASSERT_TRUE(open(bytesOf(tune(125, 32))));
             const auto toggle = [](uint32_t first) {
                 for (int i = 0; i < 2000; ++i)
                     setChannelMute(first + uint32_t(i) % 16, i < 1984 ? i / 16 % 2 : 1);
             };
             std::thread a(toggle, 0), b(toggle, 16);
             a.join();
             b.join();
             renderFrames(frames.data(), 2048);
             for (uint32_t c = 0; c < 32; ++c) {
                 PlayerChannel ch{};
                 ASSERT_TRUE(getChannel(c, &ch));
                 EXPECT_EQ(ch.sounding, 0u) << c;
             }
         }},
        // A reader polls while the song renders in small steps, skips and
        // seeks: never "nothing plays", never a half-written record.
        {"read-outs while rendering", [&] {
             ASSERT_TRUE(open(bytesOf(tune(150, 4))));
             std::atomic<bool> done{false};
             std::atomic<uint32_t> misses{0};
             std::thread reader([&] {
                 while (!done.load()) {
                     PlayerPosition at{};
                     PlayerChannel ch{};
                     if (getPosition(&at) != 1 || getChannel(3, &ch) != 1 || at.speed != 3 || at.tempo != 150)
                         misses.fetch_add(1);
                 }
             });
             for (int i = 0; i < 3000; ++i) {
                 renderFrames(i % 3 ? frames.data() : nullptr, uint32_t(1 + i % 700));
                 if (i % 50 == 0)
                     seekPosition(0, uint32_t(i % 16));
             }
             done.store(true);
             reader.join();
             EXPECT_EQ(misses.load(), 0u);
         }},
        {"seeks from a second thread during a render", [&] {
             ASSERT_TRUE(open(bytesOf(tune(125, 2))));
             std::atomic<bool> done{false};
             std::thread seeker([&] {
                 for (uint32_t i = 0; !done.load(); ++i)
                     seekPosition(0, i % 16);
             });
             for (int i = 0; i < 2000; ++i)
                 ASSERT_EQ(renderFrames(i % 2 ? frames.data() : nullptr, 4096), 4096u);
             done.store(true);
             seeker.join();
         }},
#if !defined(_WIN32)
        // The platform's own device, on SDL's dummy driver: its callback
        // copies the ring the refill thread writes.
        {"the real device", [&] {
             setenv("SDL_AUDIODRIVER", "dummy", 1);
             const std::vector<uint8_t> bytes = bytesOf(tune());
             ASSERT_NE(playModule(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory), nullptr) << getLoadError();
             PlayerPosition at{};
             for (int i = 0; i < 40; ++i) {
                 std::this_thread::sleep_for(std::chrono::milliseconds(10));
                 EXPECT_EQ(getPosition(&at), 1);
             }
             stopPlayback();
         }},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        c.second();
        renderClose();
    }
}

}  // namespace
