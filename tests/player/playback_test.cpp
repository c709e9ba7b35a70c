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

#include "module.h"
#include "player.h"
#include "sequencer.h"
#include "sources.h"
#include "xm_writer.h"

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
    [] {
        device.paused.store(true, std::memory_order_relaxed);
        return 0u;
    },
    [] {
        device.paused.store(false, std::memory_order_relaxed);
        return 0u;
    },
    [] {
        device.events.push_back("close");
        device.open = false;
        device.ring = nullptr;
    },
};

// Two channels of plain notes over a few rows, with a restart position of 1
// and an order list whose first entry is not pattern 0.
XmModule testModule() {
    XmModule m;
    m.channels = 2;
    m.speed = 3;
    m.tempo = 150;
    m.title = "Playback test";
    m.orders = {1, 0};
    m.restart = 1;
    m.addPattern(8);
    m.addPattern(8);
    XmPattern& p0 = m.patterns[0];
    XmPattern& p1 = m.patterns[1];
    for (uint32_t row = 0; row < 8; row += 2) {
        p0.at(row, 0) = xmNote(static_cast<uint8_t>(49 + row), 1);
        p1.at(row, 1) = xmNote(static_cast<uint8_t>(37 + row), 1, 0x30);
    }
    std::vector<int32_t> saw;
    for (int i = 0; i < 64; ++i) saw.push_back((i * 4) - 128);
    XmSample s = xmSample8(saw);
    s.loop(0, 64, 1);
    m.addInstrument(s);
    return m;
}

// What the device must receive: the offline render of the same module.
std::vector<uint8_t> offlineRender(const std::vector<uint8_t>& bytes, uint32_t blocks) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(loadXmBytes(bytes));
    startSongPlayback();
    for (uint32_t i = 0; i < blocks; ++i) {
        const int32_t block = renderIndex;
        renderBlock();
        const uint8_t* p = reinterpret_cast<const uint8_t*>(outputRing) + block * BlockBytes;
        out.insert(out.end(), p, p + BlockBytes);
    }
    destroyPlayerHeap();
    return out;
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

TEST_F(PlaybackTest, StartWhilePlayingStopsTheOldSongCompletelyFirst) {
    const std::vector<uint8_t> bytes = writeXm(testModule());
    ASSERT_NE(start(bytes), nullptr);
    ASSERT_NE(start(bytes), nullptr);
    EXPECT_EQ(device.events, (std::vector<std::string>{"open", "start", "close", "open", "start"}));
    stopPlayback();
    // The refill thread is gone: the device is no longer polled.
    const uint32_t calls = device.positionCalls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(device.positionCalls.load(), calls);
    EXPECT_FALSE(device.open);
    EXPECT_FALSE(heapExists());
}

TEST_F(PlaybackTest, NullSourceOnlyStops) {
    const std::vector<uint8_t> bytes = writeXm(testModule());
    ASSERT_NE(start(bytes), nullptr);
    EXPECT_EQ(playModule(nullptr, 0, 0), nullptr);
    EXPECT_EQ(device.events, (std::vector<std::string>{"open", "start", "close"}));
    EXPECT_FALSE(heapExists());
    EXPECT_EQ(playModule(nullptr, 0, 0), nullptr);   // and is harmless when nothing plays
    EXPECT_EQ(device.events.size(), 3u);
}

TEST_F(PlaybackTest, FailedStartsLeaveNothingOpen) {
    std::vector<uint8_t> notXm = writeXm(testModule());
    std::memcpy(notXm.data(), "Ext", 3);
    notXm[3] = 'X';
    XmModule huge = testModule();
    huge.instruments[0].samples[0].lengthBytes = 0xF0000000;
    const std::vector<uint8_t> cases[] = {notXm, writeXm(huge)};
    for (const std::vector<uint8_t>& bytes : cases) {
        device.events.clear();
        EXPECT_EQ(start(bytes), nullptr);
        EXPECT_EQ(device.events, (std::vector<std::string>{"open", "close"}));
        EXPECT_FALSE(device.open);
        EXPECT_FALSE(heapExists());
    }
    device.events.clear();
    device.failOpen = true;
    EXPECT_EQ(start(writeXm(testModule())), nullptr);
    EXPECT_EQ(device.events, (std::vector<std::string>{"open"}));
    EXPECT_FALSE(heapExists());
}

std::vector<std::pair<int32_t, int32_t>> rowsPlayed;
void recordRow(int32_t orderPos, int32_t row) { rowsPlayed.emplace_back(orderPos, row); }

TEST_F(PlaybackTest, FirstRowIsOrderZeroRowZeroAndReadOutsClearAtStop) {
    rowsPlayed.clear();
    rowStarted = recordRow;
    ASSERT_NE(start(writeXm(testModule())), nullptr);
    EXPECT_STREQ(getSongTitle(), "Playback test");
    stopPlayback();
    rowStarted = nullptr;
    ASSERT_FALSE(rowsPlayed.empty());
    EXPECT_EQ(rowsPlayed.front(), std::make_pair(0, 0));
    EXPECT_EQ(getLevels(), 0u);
    EXPECT_EQ(getPlayTime(), 0u);
    EXPECT_STREQ(getSongTitle(), "");
    EXPECT_EQ(pausePlayback(), 0u);
    EXPECT_EQ(resumePlayback(), 0u);
}

// ---- The stream the device consumes ----------------------------------------------

// Consumes one block every 8 ms (about three times real time, well within
// what the refill thread's one block per 5 ms sleep keeps up with), copying
// the block at the play position before moving past it.
struct Consumer {
    std::vector<uint8_t> received;
    std::atomic<bool> done{false};
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
            done.store(true);
        });
    }
};

TEST_F(PlaybackTest, DeviceReceivesExactlyTheOfflineRenderAcrossAPause) {
    const std::vector<uint8_t> bytes = writeXm(testModule());
    constexpr uint32_t Blocks = 96;
    const std::vector<uint8_t> expected = offlineRender(bytes, Blocks);

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

// ---- Control from one thread while the refill thread runs -------------------------

TEST_F(PlaybackTest, RepeatedStartStopPauseResumeWhileRendering) {
    const std::vector<uint8_t> bytes = writeXm(testModule());
    device.advanceOnQuery = true;
    uint32_t levelsSeen = 0;
    for (int i = 0; i < 200; ++i) {
        ASSERT_NE(start(bytes), nullptr);
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
    stopPlayback();
    EXPECT_FALSE(device.open);
    EXPECT_FALSE(heapExists());
    EXPECT_NE(levelsSeen, 0u);
}

}  // namespace
