// The intro's tune rendered whole by xmtool render and by openmpt123 (an
// outside renderer, linear interpolation): the same music, with headroom and
// without silent gaps in our render.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "audio_analysis.h"

namespace {

constexpr double Rate = 44100.0;

struct TuneRenders {
    std::vector<int16_t> ours;
    std::vector<int16_t> reference;
};

TuneRenders renderTune() {
    char dir[] = "/tmp/tune_reference_XXXXXX";
    TuneRenders r;
    if (mkdtemp(dir) == nullptr) {
        ADD_FAILURE() << "no temporary folder";
        return r;
    }
    const std::string base = std::string(dir) + "/tune";
    const std::string copy = "cp " + std::string(TUNE_PATH) + " " + base + ".xm";
    EXPECT_EQ(std::system(copy.c_str()), 0);
    const std::string ours = std::string(XMTOOL_PATH) + " render " + base + ".xm " + base + ".ours.wav 2>/dev/null";
    EXPECT_EQ(std::system(ours.c_str()), 0) << ours;
    const std::string reference = "openmpt123 --quiet --force --render --samplerate 44100 --channels 2 "
                                  "--no-float --filter 2 --output-type wav " + base + ".xm >/dev/null 2>&1";
    EXPECT_EQ(std::system(reference.c_str()), 0) << reference;
    r.ours = audio::readWav(base + ".ours.wav");
    r.reference = audio::readWav(base + ".xm.wav");
    const std::string clean = "rm -rf " + std::string(dir);
    std::system(clean.c_str());
    return r;
}

}  // namespace

TEST(Tune, OurRenderAndTheReferenceAreTheSameMusic) {
    if (std::system("openmpt123 --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "openmpt123 is not installed";
    const TuneRenders r = renderTune();
    const std::vector<float> ours = audio::mono(r.ours);
    const std::vector<float> reference = audio::mono(r.reference);
    ASSERT_FALSE(ours.empty());
    ASSERT_FALSE(reference.empty());

    // Both play the song once: lengths within a row (80 ms) and a block.
    const double oursSeconds = ours.size() / Rate;
    const double referenceSeconds = reference.size() / Rate;
    std::printf("length %.2f s, reference %.2f s\n", oursSeconds, referenceSeconds);
    EXPECT_NEAR(oursSeconds, referenceSeconds, 0.2);
    EXPECT_GE(oursSeconds, 90.0);
    EXPECT_LE(oursSeconds, 180.0);

    // Loudness over 50 ms windows follows the same course.
    const double corr = audio::correlation(audio::loudnessEnvelope(ours, 2205), audio::loudnessEnvelope(reference, 2205));
    std::printf("loudness correlation %.4f\n", corr);
    EXPECT_GE(corr, 0.9);

    // Headroom: the loudest sample stays at least 3 dB below full scale.
    int32_t peak = 0;
    for (int16_t v : r.ours) peak = std::max(peak, std::abs(int32_t(v)));
    const double peakDb = 20.0 * std::log10(peak / 32768.0);
    std::printf("peak %.2f dBFS\n", peakDb);
    EXPECT_LE(peakDb, -3.0);

    // No silence longer than a beat (four rows of 80 ms) anywhere in the song.
    const size_t window = 441;   // 10 ms
    const double floor = 32768.0 * std::pow(10.0, -50.0 / 20.0);
    size_t quiet = 0, longestQuiet = 0;
    for (size_t from = 0; from + window <= ours.size(); from += window) {
        quiet = audio::rms(ours, from, from + window) < floor ? quiet + 1 : 0;
        longestQuiet = std::max(longestQuiet, quiet);
    }
    std::printf("longest stretch below -50 dBFS: %.2f s\n", longestQuiet * 0.01);
    EXPECT_LE(longestQuiet * 0.01, 0.32);
}
