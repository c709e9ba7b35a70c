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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    bool ok = save(folder, "empty", empty()) && save(folder, "patterns", patterns()) &&
              save(folder, "instruments", instruments()) && save(folder, "wide", wide());
    if (!ok) std::fprintf(stderr, "make_seeds: cannot write into %s\n", argv[1]);
    return ok ? 0 : 1;
}
