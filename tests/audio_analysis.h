// Measurements on rendered audio for tests: loudness, pitch by zero
// crossings, loudness envelopes and their correlation.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace audio {

// Left plus right over two, as floats.
inline std::vector<float> mono(const std::vector<int16_t>& stereo) {
    std::vector<float> out(stereo.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = 0.5f * (float(stereo[2 * i]) + float(stereo[2 * i + 1]));
    return out;
}

inline double rms(const std::vector<float>& x, size_t from, size_t to) {
    if (to > x.size())
        to = x.size();
    if (to <= from)
        return 0.0;
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return std::sqrt(sum / double(to - from));
}

inline double peak(const std::vector<float>& x, size_t from, size_t to) {
    double p = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i)
        p = std::fmax(p, std::fabs(x[i]));
    return p;
}

// Frequency in Hz from the upward zero crossings between from and to,
// measured from the first crossing to the last one, with a small hysteresis
// so that noise around zero does not count.
inline double pitch(const std::vector<float>& x, size_t from, size_t to, double rate = 44100.0) {
    if (to > x.size())
        to = x.size();
    const double threshold = 0.02 * peak(x, from, to);
    bool below = false;
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (x[i] < -threshold)
            below = true;
        if (below && x[i - 1] < 0.0f && x[i] >= 0.0f) {
            // Interpolate where the crossing lies between the two frames.
            const double t = double(i - 1) + double(-x[i - 1]) / double(x[i] - x[i - 1]);
            if (first < 0.0)
                first = t;
            else
                ++crossings;
            last = t;
            below = false;
        }
    }
    if (crossings == 0)
        return 0.0;
    return rate * crossings / (last - first);
}

// One tick of a render, measured as the reference comparisons do: pitch
// without the tick's first 200 frames (note starts and crossfades), loudness
// over its last third only, because the reference renderer slides every
// volume change across a whole tick where ours ramps in 220 frames.
struct TickMeasure {
    double level;
    double hz;   // 0: no pitch found
};

inline TickMeasure measureTick(const std::vector<float>& x, size_t start, size_t frames) {
    const size_t end = start + frames;
    return {rms(x, end - frames / 3, end), pitch(x, start + std::min<size_t>(200, frames / 3), end)};
}

// Pearson correlation over the common length.
inline double correlation(const std::vector<double>& a, const std::vector<double>& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    if (n < 2)
        return 0.0;
    double ma = 0.0, mb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= double(n);
    mb /= double(n);
    double sab = 0.0, saa = 0.0, sbb = 0.0;
    for (size_t i = 0; i < n; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    if (saa <= 0.0 || sbb <= 0.0)
        return 0.0;
    return sab / std::sqrt(saa * sbb);
}

// A single-cycle sine of the given length and amplitude, for looped samples.
inline std::vector<int32_t> sineCycle(int frames, int amplitude) {
    std::vector<int32_t> v(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i)
        v[static_cast<size_t>(i)] =
            static_cast<int32_t>(std::lround(amplitude * std::sin(2.0 * M_PI * i / frames)));
    return v;
}

// The samples of a 16-bit stereo WAV (the data chunk, whatever comes before).
inline std::vector<int16_t> readWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples;
    if (bytes.size() < 12)
        return samples;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint32_t size = bytes[pos + 4] | bytes[pos + 5] << 8 | bytes[pos + 6] << 16 |
                              uint32_t(bytes[pos + 7]) << 24;
        if (std::memcmp(&bytes[pos], "data", 4) == 0) {
            const size_t end = std::min(bytes.size(), pos + 8 + size_t(size));
            for (size_t i = pos + 8; i + 1 < end; i += 2)
                samples.push_back(static_cast<int16_t>(bytes[i] | bytes[i + 1] << 8));
            return samples;
        }
        pos += 8 + size + (size & 1);
    }
    return samples;
}

}  // namespace audio
