// Writes the fuzzer's seed corpus into the folder given: small valid modules
// built with the tests' XM writer, covering each part of the format.
#include <cstdio>
#include <string>
#include <vector>

#include "xm_writer.h"

namespace {

bool save(const std::string& folder, const char* name, const XmModule& module) {
    return writeXmFile(folder + "/" + name + ".xm", module);
}

XmModule empty() {
    XmModule m;
    m.orders = {0};
    m.addPattern(1);
    return m;
}

XmModule patterns() {
    XmModule m;
    m.channels = 6;
    m.orders = {0, 1, 2, 5, 1};
    XmPattern& a = m.addPattern(16);
    a.at(0, 0) = xmNote(49, 1, 0x40);
    a.at(1, 5) = xmCell(97, 2, 0x10, 0x0E, 0x61);
    a.at(7, 3) = xmCell(12, 1, 0x22, 0x03, 0x08);
    XmPattern& b = m.addPattern(4);
    b.packing = XmPacking::Plain;
    b.at(2, 2) = xmNote(30, 2);
    XmPattern& c = m.addPattern(8);
    c.storeEmpty = true;
    m.addInstrument(xmSample8({1, 2, 3}));
    m.addInstrument(xmSample8({-1, -2}));
    return m;
}

XmModule instruments() {
    XmModule m;
    m.channels = 2;
    m.orders = {0};
    m.addPattern(2).at(0, 0) = xmNote(49, 1);
    std::vector<int32_t> v8, v16;
    for (int i = 0; i < 64; i++) {
        v8.push_back((i * 13) % 256 - 128);
        v16.push_back(i * 1000 - 32000);
    }
    XmInstrument& a = m.addInstrument(xmSample8(v8).loop(8, 32, LoopForward));
    a.samples.push_back(xmSample16(v16).loop(4, 40, LoopPingPong));
    a.samples.push_back(xmSample8(v8).loop(2, 10, 3));
    for (int n = 0; n < 96; n++) a.sampleMap[n] = (uint8_t)(n % 3);
    a.volumeEnvelope.points = {{0, 64}, {4, 48}, {16, 20}, {40, 0}};
    a.volumeEnvelope.flags = EnvelopeOn | EnvelopeSustain | EnvelopeLoop;
    a.volumeEnvelope.sustain = 1;
    a.volumeEnvelope.loopStart = 1;
    a.volumeEnvelope.loopEnd = 2;
    a.panningEnvelope.points = {{0, 32}, {10, 0}, {20, 64}};
    a.panningEnvelope.flags = EnvelopeOn;
    a.fadeout = 1024;
    a.vibratoType = 1;
    a.vibratoDepth = 8;
    a.vibratoRate = 4;
    std::vector<uint8_t> nibbles;
    for (int i = 0; i < 41; i++) nibbles.push_back((uint8_t)(i % 16));
    m.addInstrument(xmSamplePacked({0, 1, 2, 4, 8, 16, 32, 64, -1, -2, -4, -8, -16, -32, -64, -128}, nibbles)
                        .loop(0, 41, LoopForward));
    m.addInstrument();
    return m;
}

XmModule wide() {
    XmModule m;
    m.channels = 40;
    m.orders = {0, 3};
    XmPattern& a = m.addPattern(3);
    a.at(0, 39) = xmNote(1, 1);
    a.at(2, 0) = xmNote(2, 1);
    m.addInstrument(xmSample16({100, -100, 200}));
    return m;
}

// Songs that follow the music's edges: loops, jumps, delays, long and short
// patterns, both frequency tables, extreme tempo and speed.
XmModule following(int kind) {
    XmModule m;
    m.channels = 4;
    m.orders = {0, 1, 0};
    m.speed = kind == 5 ? 31 : 3;
    m.tempo = kind == 5 ? 65535 : kind == 6 ? 32 : 125;
    m.flags = kind == 4 ? 0 : 1;
    XmPattern& a = m.addPattern(kind == 3 ? 300 : 16);
    a.at(0, 0) = xmCell(49, 1, 0, 0x2, 0xFF);
    a.at(1, 1) = xmCell(61, 1, 0x30, 0x1, 0x10);
    a.at(2, 2) = xmEffect(0xE, 0x60);
    a.at(5, 2) = xmEffect(0xE, 0x62);
    a.at(6, 2) = xmEffect(0xE, 0x61);
    a.at(7, 3) = xmEffect(0xE, 0xE2);
    a.at(8, 0) = xmCell(25, 1, 0, 0xE, 0x93);
    if (kind == 1)
        a.at(9, 3) = xmEffect(0xB, 0x02);
    if (kind == 2)
        a.at(10, 3) = xmEffect(0xD, 0x12);
    if (kind == 3) {
        a.at(282, 1) = xmEffect(0xE, 0x60);
        a.at(285, 1) = xmEffect(0xE, 0x62);
        a.at(286, 1) = xmEffect(0xE, 0x61);
    }
    m.addPattern(kind == 2 ? 0 : 1);
    m.addInstrument(xmSample8(std::vector<int32_t>(32, 60)).loop(0, 32, 1));
    return m;
}

// The interface's seeds: a module, then a tour of every call.
bool saveCalls(const std::string& folder, const std::string& name, const XmModule& module) {
    std::vector<uint8_t> bytes = writeXm(module);
    if (bytes.size() > 65535) return false;
    const uint8_t tour[] = {
        0, 0x00, 0x10,      // render 4,096 frames
        6, 7, 0, 8, 1, 0,   // position, channel 0, instrument 1
        1, 0x20, 0x4E, 2,   // skip 80,000 frames
        2, 1, 3, 0,         // seek to order 1, row 3
        0, 100, 0,          // render 100 frames
        3, 1, 1, 4, 0, 1,   // mute channel 1, solo channel 0
        5, 1,               // play once
        1, 0xFF, 0xFF, 5,   // skip to the end
        15, 14, 0, 9, 32, 17,   // came back, song facts, volume 32, time
        16, 8, 1,           // eight blocks mixed and skipped, played once
        10, 1,              // as the resource "TUNE"
        0, 0xD0, 0x07,      // render 2,000 frames
        11, 6, 12, 13,      // close, position, open, stop
    };
    std::vector<uint8_t> input = {uint8_t(bytes.size()), uint8_t(bytes.size() >> 8)};
    input.insert(input.end(), bytes.begin(), bytes.end());
    input.insert(input.end(), tour, tour + sizeof tour);
    FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    if (f == nullptr) return false;
    const bool written = std::fwrite(input.data(), 1, input.size(), f) == input.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace

// make_seeds FOLDER [CALLS_FOLDER]: the loader's seeds, and the interface's.
int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_seeds FOLDER [CALLS_FOLDER]\n");
        return 2;
    }
    std::string folder = argv[1];
    bool ok = save(folder, "empty", empty()) && save(folder, "patterns", patterns()) &&
              save(folder, "instruments", instruments()) && save(folder, "wide", wide());
    if (argc == 3) {
        const std::string calls = argv[2];
        ok = ok && saveCalls(calls, "empty", empty()) && saveCalls(calls, "patterns", patterns()) &&
             saveCalls(calls, "instruments", instruments()) && saveCalls(calls, "wide", wide());
        for (int kind = 0; kind < 7 && ok; kind++)
            ok = saveCalls(calls, "following" + std::to_string(kind), following(kind));
    }
    if (!ok) std::fprintf(stderr, "make_seeds: cannot write the seeds\n");
    return ok ? 0 : 1;
}
