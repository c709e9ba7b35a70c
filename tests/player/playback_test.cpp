// Real-time playback through a test audio device whose position the test
// drives: start and stop order, failed starts, read-outs, and that the bytes
// the device consumes are exactly the offline render, across pauses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "realtime.h"
#include "song.h"
#include "sequencer.h"
#include "song_fixture.h"
#include "sources.h"
#include "xm_writer.h"

using namespace introplayer;

namespace {

constexpr uint32_t BlockBytes = BlockFrames * 4;

// ---- The test device -----------------------------------------------------------

struct TestDevice {
    std::vector<std::string> events;       // open / start / close, in order (caller's thread)
    bool failOpen = false;
    bool open = false;
    const uint8_t* ring = nullptr;
    std::atomic<uint32_t> position{0};
    std::atomic<bool> paused{false};
    std::atomic<uint32_t> positionCalls{0};
    // Advance by one block on every position query: consumption driven by the
    // refill thread itself, without a second thread reading the ring.
    bool advanceOnQuery = false;
};

TestDevice device;

const AudioDevice testDevice = {
    [] {
        device.events.push_back("open");
        if (device.failOpen) return false;
        device.open = true;
        return true;
    },
    [](const uint8_t* ring, uint32_t bytes) {
        device.events.push_back("start");
        device.ring = ring;
        EXPECT_EQ(bytes, 65536u);
    },
    [] {
        device.positionCalls.fetch_add(1, std::memory_order_relaxed);
        uint32_t p = device.position.load(std::memory_order_acquire);
        if (device.advanceOnQuery && !device.paused.load(std::memory_order_relaxed))
            device.position.store(p + BlockBytes, std::memory_order_release);
        return p;
    },
    [] { device.paused.store(true, std::memory_order_relaxed); return 0u; },
    [] { device.paused.store(false, std::memory_order_relaxed); return 0u; },
    [] {
        device.events.push_back("close");
        device.open = false;
        device.ring = nullptr;
    },
    nullptr,
};

// Two channels of notes, a restart position of 1 and an order list whose
// first entry is not pattern 0.
std::vector<uint8_t> testModule() {
    XmModule m;
    m.channels = 2;
    m.speed = 3;
    m.tempo = 150;
    m.title = "Playback test";
    m.orders = {1, 0};
    m.restart = 1;
    m.addPattern(8);
    m.addPattern(8);
    for (uint8_t row = 0; row < 8; row += 2) {
        m.patterns[0].at(row, 0) = xmNote(49 + row, 1);
        m.patterns[1].at(row, 1) = xmNote(37 + row, 1, 0x30);
    }
    std::vector<int32_t> saw;
    for (int i = 0; i < 64; ++i) saw.push_back((i * 4) - 128);
    m.addInstrument(xmSample8(saw).loop(0, 64, 1));
    return writeXm(m);
}

class PlaybackTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.events.clear();
        device.failOpen = false;
        device.open = false;
        device.ring = nullptr;
        device.position.store(0);
        device.paused.store(false);
        device.positionCalls.store(0);
        device.advanceOnQuery = false;
        useAudioDevice(&testDevice);
        setMasterVolume(64);
    }
    void TearDown() override {
        stopPlayback();
        useAudioDevice(nullptr);
    }
    const void* start(const std::vector<uint8_t>& bytes) {
        return playModule(bytes.data(), static_cast<uint32_t>(bytes.size()), SourceMemory);
    }
};

bool heapExists() { return allocZeroed(16) != nullptr; }

// ---- Start and stop ------------------------------------------------------------

TEST_F(PlaybackTest, StartWhilePlayingStopsTheOldSongCompletelyAndANullSourceOnlyStops) {
    const std::vector<uint8_t> bytes = testModule();
    ASSERT_NE(start(bytes), nullptr);
    songfixture::rowsSeen.clear();
    rowStarted = songfixture::recordRow;
    ASSERT_NE(start(bytes), nullptr);
    EXPECT_STREQ(getSongTitle(), "Playback test");
    EXPECT_EQ(playModule(nullptr, 0, 0), nullptr);
    rowStarted = nullptr;
    EXPECT_EQ(songfixture::rowsSeen.at(0), std::make_pair(0, 0));   // whatever the restart position
    EXPECT_EQ(device.events, (std::vector<std::string>{"open", "start", "close", "open", "start", "close"}));
    // The refill thread is gone: the device is no longer polled.
    const uint32_t calls = device.positionCalls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(device.positionCalls.load(), calls);
    EXPECT_FALSE(heapExists());
    EXPECT_EQ(getLevels() + getPlayTime() + pausePlayback() + resumePlayback(), 0u);
    EXPECT_STREQ(getSongTitle(), "");
    EXPECT_EQ(playModule(nullptr, 0, 0), nullptr);   // and is harmless when nothing plays
    EXPECT_EQ(device.events.size(), 6u);
}

TEST_F(PlaybackTest, FailedStartsLeaveNothingOpen) {
    const std::vector<uint8_t> good = testModule();
    std::vector<uint8_t> notXm = good;
    notXm[3] = 'X';
    for (size_t heapLimit : {0, 64}) {   // not a module; a module the heap cannot hold
        device.events.clear();
        setPlayerHeapLimit(heapLimit);
        EXPECT_EQ(start(heapLimit ? good : notXm), nullptr);
        setPlayerHeapLimit(0);
        EXPECT_EQ(device.events, (std::vector<std::string>{"open", "close"}));
        EXPECT_FALSE(device.open);
        EXPECT_FALSE(heapExists());
    }
    device.events.clear();
    device.failOpen = true;
    EXPECT_EQ(start(good), nullptr);
    EXPECT_EQ(device.events, (std::vector<std::string>{"open"}));
    EXPECT_FALSE(heapExists());
}

// ---- The stream the device consumes ----------------------------------------------

// Consumes one block every 8 ms (about three times real time, well within
// what the refill thread's one block per 5 ms sleep keeps up with), copying
// the block at the play position before moving past it.
struct Consumer {
    std::vector<uint8_t> received;
    std::thread thread;

    void run(uint32_t blocks) {
        thread = std::thread([this, blocks] {
            while (received.size() < blocks * BlockBytes) {
                std::this_thread::sleep_for(std::chrono::milliseconds(8));
                if (device.paused.load(std::memory_order_relaxed)) continue;
                const uint32_t p = device.position.load(std::memory_order_relaxed);
                const uint8_t* block = device.ring + ((p >> 12) & 15) * BlockBytes;
                received.insert(received.end(), block, block + BlockBytes);
                device.position.store(p + BlockBytes, std::memory_order_release);
            }
        });
    }
};

TEST_F(PlaybackTest, DeviceReceivesExactlyTheOfflineRenderAcrossAPause) {
    const std::vector<uint8_t> bytes = testModule();
    constexpr uint32_t Blocks = 96;
    std::vector<uint8_t> expected(Blocks * BlockBytes);   // the same module rendered offline
    ASSERT_TRUE(renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory));
    renderFrames(reinterpret_cast<int16_t*>(expected.data()), Blocks * BlockFrames);
    renderClose();

    ASSERT_NE(start(bytes), nullptr);
    Consumer consumer;
    consumer.run(Blocks);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    pausePlayback();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const uint32_t pausedAt = device.position.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(device.position.load(), pausedAt) << "a paused device does not move";
    resumePlayback();
    consumer.thread.join();
    stopPlayback();

    ASSERT_EQ(consumer.received.size(), expected.size());
    for (uint32_t b = 0; b < Blocks; ++b) {
        ASSERT_EQ(std::memcmp(consumer.received.data() + b * BlockBytes, expected.data() + b * BlockBytes,
                              BlockBytes),
                  0)
            << "block " << b << " differs from the offline render (a gap or a repeated block)";
    }
}

// A seek is heard after the block the device plays and the next one: the
// stream then goes on as an offline render seeked there, once the old sound
// has crossed over to it (256 frames). Meanwhile another
// thread reads the position and channels.
TEST_F(PlaybackTest, ASeekIsHeardAfterTwoBlocksWhileAnotherThreadReadsTheMusic) {
    const std::vector<uint8_t> bytes = testModule();
    constexpr uint32_t After = 6;
    std::vector<uint8_t> expected(After * BlockBytes);
    ASSERT_TRUE(renderOpen(bytes.data(), uint32_t(bytes.size()), PlayerSourceMemory));
    ASSERT_EQ(seekPosition(1, 4), PlayerSeekDone);
    renderFrames(reinterpret_cast<int16_t*>(expected.data()), After * BlockFrames);
    renderClose();

    ASSERT_NE(start(bytes), nullptr);
    std::atomic<bool> done{false};
    std::thread reader([&done] {
        PlayerPosition at{};
        PlayerChannel ch{};
        uint32_t lastTime = 0;
        while (!done.load()) {
            if (getPosition(&at) && getChannel(0, &ch)) {
                EXPECT_GE(at.timeMs, lastTime) << "the time goes on across the seek";
                lastTime = at.timeMs;
            }
        }
    });
    Consumer consumer;
    consumer.run(40);
    while (device.position.load() < 12 * BlockBytes)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const uint32_t heardAtSeek = device.position.load() / BlockBytes;
    ASSERT_EQ(seekPosition(1, 4), PlayerSeekDone);
    consumer.thread.join();
    done.store(true);
    reader.join();
    constexpr uint32_t Crossing = 256 * 4;
    uint32_t at = heardAtSeek;
    while (at < 34 && std::memcmp(consumer.received.data() + at * BlockBytes + Crossing, expected.data() + Crossing,
                                  4 * BlockBytes - Crossing) != 0)
        ++at;
    EXPECT_LE(at - heardAtSeek, 3u) << "blocks between the seek and the sound of it";
}

// ---- Control from one thread while the refill thread runs -------------------------

TEST_F(PlaybackTest, RepeatedStartStopPauseResumeWhileRendering) {
    const std::vector<uint8_t> bytes = testModule();
    device.advanceOnQuery = true;
    uint32_t levelsSeen = 0;
    std::atomic<bool> done{false};
    std::thread reader([&done] {   // the read-outs and mute from another thread
        PlayerPosition at{};
        PlayerChannel ch{};
        uint32_t strikes, lastMs;
        for (uint32_t n = 0; !done.load(); ++n) {
            getPosition(&at);
            getChannel(n & 1, &ch);
            getInstrumentStrikes(1, &strikes, &lastMs);
            setChannelMute(n & 1, n & 2);
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_NE(start(bytes), nullptr);
        if (i % 5 == 2) {
            EXPECT_EQ(seekPosition(1, uint32_t(i % 8)), PlayerSeekDone);
        }
        if (i % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(6));
        if (i % 4 == 1) {
            pausePlayback();
            resumePlayback();
        }
        setMasterVolume(static_cast<uint32_t>(i % 65));
        levelsSeen |= getLevels();
        (void)getPlayTime();
        if (i % 2 == 0) stopPlayback();
    }
    done.store(true);
    reader.join();
    stopPlayback();
    EXPECT_FALSE(device.open);
    EXPECT_FALSE(heapExists());
    EXPECT_NE(levelsSeen, 0u);
}

}  // namespace
