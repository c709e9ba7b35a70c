// Renders the intro's picture: a sunset over mountains and a lake, 1024 x 512,
// then reduces it to a 256-colour palette with error diffusion.
//
//   make_picture <out.pal> <out.idx> [preview.ppm]
//
// out.pal: 768 bytes, red, green, blue per entry. out.idx: one palette index
// per pixel, top row first, each row left to right. The palette is arranged so
// that entry 0 is the warm gold E4 C9 5F and the top-left pixel uses entry 0x31.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int Width = 1024;
constexpr int Height = 512;
constexpr int PaletteSize = 256;
constexpr int HorizonY = 330;  // water line, in pixel rows from the top
constexpr float SunX = 690.0f;
constexpr float SunY = 252.0f;
constexpr float SunRadius = 50.0f;

struct Rgb {
    float r, g, b;
};

Rgb mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Rgb scale(Rgb a, float s) { return {a.r * s, a.g * s, a.b * s}; }
Rgb add(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
float smooth(float e0, float e1, float x) {
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

// Integer hash: the picture must not depend on the C library's rand().
uint32_t hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}
float hash01(int32_t x, int32_t y, uint32_t seed) {
    return float(hash(uint32_t(x) * 73856093U ^ uint32_t(y) * 19349663U ^ seed * 83492791U) & 0xFFFFFF) /
           16777216.0f;
}

float valueNoise(float x, float y, uint32_t seed) {
    int32_t xi = int32_t(std::floor(x)), yi = int32_t(std::floor(y));
    float fx = x - float(xi), fy = y - float(yi);
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    float a = hash01(xi, yi, seed), b = hash01(xi + 1, yi, seed);
    float c = hash01(xi, yi + 1, seed), d = hash01(xi + 1, yi + 1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

float fbm(float x, float y, int octaves, uint32_t seed) {
    float sum = 0, amp = 0.5f, norm = 0;
    for (int i = 0; i < octaves; i++) {
        sum += valueNoise(x, y, seed + uint32_t(i)) * amp;
        norm += amp;
        x *= 2.03f;
        y *= 2.03f;
        amp *= 0.5f;
    }
    return sum / norm;
}

// Sun disc drawn over the sky with a soft edge and a slight limb darkening.
Rgb withSun(float x, float y, Rgb c) {
    float dx = x - SunX, dy = y - SunY;
    float d = std::sqrt(dx * dx + dy * dy) / SunRadius;
    if (d > 1.05f) return c;
    // Horizontal bands cut the lower part of the disc, as haze does at sunset.
    float bands = (y > SunY + 10 && std::fmod(y - SunY, 9.0f) < 2.0f + (y - SunY) * 0.08f) ? 0.55f : 0.0f;
    Rgb disc = mix(Rgb{255, 246, 200}, Rgb{255, 180, 80}, d * d);
    return mix(c, mix(disc, c, bands), 1 - smooth(0.95f, 1.05f, d));
}

// Sky above the water line without the sun disc.
Rgb skyGlow(float x, float y) {
    const Rgb zenith{18, 8, 52}, high{70, 22, 96}, mid{168, 52, 108}, low{246, 128, 66}, horizon{255, 196, 110};
    float t = clamp01(y / float(HorizonY));
    Rgb c;
    if (t < 0.35f)
        c = mix(zenith, high, smooth(0, 0.35f, t));
    else if (t < 0.65f)
        c = mix(high, mid, smooth(0.35f, 0.65f, t));
    else if (t < 0.88f)
        c = mix(mid, low, smooth(0.65f, 0.88f, t));
    else
        c = mix(low, horizon, smooth(0.88f, 1.0f, t));
    // Leftward the sky cools: the sun sets on the right.
    c = mix(c, scale(c, 0.72f), clamp01((SunX - x) / 900.0f) * (1 - t * 0.5f));

    float dx = x - SunX, dy = (y - SunY) * 1.25f;
    float d = std::sqrt(dx * dx + dy * dy);
    float glow = std::exp(-d / 140.0f) * 0.85f + std::exp(-d / 38.0f) * 0.6f;
    c = add(c, scale(Rgb{255, 170, 90}, glow));

    // Thin clouds lit from below near the sun.
    float band = smooth(0.25f, 0.45f, t) * (1 - smooth(0.78f, 0.92f, t));
    float n = fbm(x / 170.0f, y / 18.0f, 5, 11);
    float cloud = smooth(0.52f, 0.75f, n) * band;
    Rgb lit = mix(Rgb{120, 40, 90}, Rgb{255, 150, 90}, clamp01(1.2f - d / 520.0f));
    c = mix(c, lit, cloud * 0.75f);

    // A few faint stars in the dark upper sky.
    if (t < 0.4f) {
        int32_t sx = int32_t(x) / 3, sy = int32_t(y) / 3;
        float h = hash01(sx, sy, 7);
        if (h > 0.985f && int32_t(x) % 3 == 1 && int32_t(y) % 3 == 1) {
            float b = (h - 0.985f) / 0.015f * (1 - t / 0.4f);
            c = add(c, scale(Rgb{200, 190, 255}, b));
        }
    }
    return c;
}

// The sky as seen, also sampled mirrored for the reflection.
Rgb skyColour(float x, float y) { return withSun(x, y, skyGlow(x, y)); }

// Height of a mountain ridge above the water line at column x.
float ridge(float x, float base, float amplitude, float wavelength, uint32_t seed) {
    float n = fbm(x / wavelength, 0.5f, 6, seed);
    float peaks = 1 - std::fabs(valueNoise(x / (wavelength * 1.7f), 3.5f, seed + 50) * 2 - 1);
    return base + amplitude * (n * 0.7f + peaks * 0.5f);
}

Rgb sceneAbove(float x, float y) {
    Rgb c = skyColour(x, y);
    float up = float(HorizonY) - y;  // height above the water line
    // Far, middle and near ranges: each darker and less hazy than the one behind.
    struct Range {
        float base, amplitude, wavelength;
        uint32_t seed;
        Rgb colour;
        float haze;
    };
    const Range ranges[] = {
        {12, 72, 240, 101, {112, 48, 104}, 0.45f},
        {2, 58, 150, 202, {74, 30, 78}, 0.25f},
        {-8, 44, 90, 303, {30, 14, 40}, 0.08f},
    };
    for (const Range& r : ranges) {
        float h = ridge(x, r.base, r.amplitude, r.wavelength, r.seed);
        if (up < h) {
            // Rock darkens downwards and catches a little sun on the right.
            float depth = clamp01((h - up) / 90.0f);
            Rgb rock = mix(r.colour, scale(r.colour, 0.6f), depth);
            float rim = clamp01(1 - (h - up) / 3.0f) * clamp01((x - 300) / 700.0f);
            rock = add(rock, scale(Rgb{255, 140, 80}, rim * 0.5f));
            float tex = fbm(x / 12.0f, y / 6.0f, 3, r.seed + 9) - 0.5f;
            rock = add(rock, scale(r.colour, tex * 0.35f));
            c = mix(rock, skyGlow(x, float(HorizonY) - 70), r.haze * (1 - depth * 0.5f));
        }
    }
    // Pines on the left shore, standing on the water line.
    for (int i = 0; i < 26; i++) {
        float tx = 20.0f + float(i) * 11.0f + hash01(i, 1, 5) * 9.0f;
        float th = 40.0f + hash01(i, 2, 5) * 70.0f * (1 - float(i) / 30.0f);
        if (up >= -2 && up < th) {
            float half = (th - up) * 0.22f * (0.85f + 0.3f * std::fabs(std::sin(up * 0.55f)));
            if (std::fabs(x - tx) < half + 1.0f) c = Rgb{12, 6, 18};
        }
    }
    return c;
}

Rgb render(float x, float y) {
    if (y < float(HorizonY)) return sceneAbove(x, y);
    // The lake: the scene mirrored about the water line, broken by ripples
    // that grow towards the viewer, darker and bluer than the sky it shows.
    float below = y - float(HorizonY);
    float near = below / float(Height - HorizonY);
    float wave = std::sin(below * 0.9f / (0.2f + near) + fbm(x / 40.0f, below / 4.0f, 3, 77) * 6.0f);
    float ry = float(HorizonY) - below - wave * (1.0f + near * 6.0f);
    float rx = x + wave * near * 4.0f;
    Rgb c = sceneAbove(rx, std::max(0.0f, ry));
    c = mix(c, Rgb{20, 14, 60}, 0.25f + near * 0.35f);
    // The sun's glitter path on the water.
    float path = std::exp(-std::fabs(x - SunX) / (14.0f + near * 70.0f));
    float sparkle = smooth(0.55f, 0.95f, fbm(x / 6.0f, below / 1.5f, 3, 91));
    c = add(c, scale(Rgb{255, 200, 120}, path * (0.35f + sparkle * 0.9f) * (1 - near * 0.4f)));
    // Dark shore in the bottom-left corner.
    float shore = 150.0f - x * 0.55f + fbm(x / 30.0f, 0.0f, 4, 13) * 30.0f;
    if (float(Height) - y < shore * 0.35f) c = mix(Rgb{10, 6, 14}, Rgb{40, 20, 30}, clamp01((x - 40) / 250));
    return c;
}

float distance2(const Rgb& a, const Rgb& b) {
    float dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return dr * dr * 0.30f + dg * dg * 0.59f + db * db * 0.11f;
}

int nearest(const std::vector<Rgb>& pal, const Rgb& c) {
    int best = 0;
    float bestD = 1e30f;
    for (int i = 0; i < int(pal.size()); i++) {
        float d = distance2(pal[i], c);
        if (d < bestD) {
            bestD = d;
            best = i;
        }
    }
    return best;
}

// Palette by k-means over a sample of the picture, seeded from evenly spaced
// samples in brightness order so that dark and bright areas both get entries.
std::vector<Rgb> buildPalette(const std::vector<Rgb>& img, Rgb fixed) {
    std::vector<Rgb> sample;
    for (size_t i = 0; i < img.size(); i += 7) sample.push_back(img[i]);
    std::vector<Rgb> sorted = sample;
    std::sort(sorted.begin(), sorted.end(), [](const Rgb& a, const Rgb& b) {
        return a.r * 0.3f + a.g * 0.59f + a.b * 0.11f < b.r * 0.3f + b.g * 0.59f + b.b * 0.11f;
    });
    std::vector<Rgb> pal(PaletteSize);
    pal[0] = fixed;
    for (int i = 1; i < PaletteSize; i++) pal[i] = sorted[(sorted.size() - 1) * size_t(i - 1) / (PaletteSize - 2)];
    std::vector<int> owner(sample.size());
    for (int iter = 0; iter < 16; iter++) {
        std::vector<double> sr(PaletteSize), sg(PaletteSize), sb(PaletteSize), n(PaletteSize);
        for (size_t i = 0; i < sample.size(); i++) {
            int k = nearest(pal, sample[i]);
            sr[k] += sample[i].r;
            sg[k] += sample[i].g;
            sb[k] += sample[i].b;
            n[k] += 1;
        }
        for (int k = 1; k < PaletteSize; k++) {  // entry 0 stays the fixed gold
            if (n[k] > 0)
                pal[k] = {float(sr[k] / n[k]), float(sg[k] / n[k]), float(sb[k] / n[k])};
            else
                pal[k] = sample[hash(uint32_t(k * 977 + iter)) % sample.size()];
        }
    }
    for (Rgb& p : pal) p = {std::round(p.r), std::round(p.g), std::round(p.b)};
    return pal;
}

bool writeFile(const char* path, const void* data, size_t size) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_picture out.pal out.idx [preview.ppm]\n");
        return 2;
    }
    // Render with 2 x 2 supersampling so edges are smooth before dithering.
    std::vector<Rgb> img(size_t(Width) * Height);
    for (int y = 0; y < Height; y++) {
        for (int x = 0; x < Width; x++) {
            Rgb sum{0, 0, 0};
            for (int s = 0; s < 4; s++) {
                float fx = float(x) + 0.25f + 0.5f * float(s & 1), fy = float(y) + 0.25f + 0.5f * float(s >> 1);
                sum = add(sum, render(fx, fy));
            }
            Rgb c = scale(sum, 0.25f);
            img[size_t(y) * Width + x] = {std::min(255.0f, c.r), std::min(255.0f, c.g), std::min(255.0f, c.b)};
        }
    }

    const Rgb gold{0xE4, 0xC9, 0x5F};
    std::vector<Rgb> pal = buildPalette(img, gold);

    // Floyd-Steinberg, serpentine, error clamped so it cannot run away.
    std::vector<uint8_t> idx(img.size());
    std::vector<Rgb> work = img;
    for (int y = 0; y < Height; y++) {
        bool ltr = (y & 1) == 0;
        for (int i = 0; i < Width; i++) {
            int x = ltr ? i : Width - 1 - i;
            int dir = ltr ? 1 : -1;
            Rgb& c = work[size_t(y) * Width + x];
            c = {std::clamp(c.r, 0.0f, 255.0f), std::clamp(c.g, 0.0f, 255.0f), std::clamp(c.b, 0.0f, 255.0f)};
            int k = nearest(pal, c);
            idx[size_t(y) * Width + x] = uint8_t(k);
            Rgb e{c.r - pal[k].r, c.g - pal[k].g, c.b - pal[k].b};
            auto spread = [&](int px, int py, float w) {
                if (px < 0 || px >= Width || py >= Height) return;
                Rgb& t = work[size_t(py) * Width + px];
                t = add(t, scale(e, w));
            };
            spread(x + dir, y, 7 / 16.0f);
            spread(x - dir, y + 1, 3 / 16.0f);
            spread(x, y + 1, 5 / 16.0f);
            spread(x + dir, y + 1, 1 / 16.0f);
        }
    }

    // Entry 0 already holds the gold; move the top-left pixel's entry to 0x31.
    int topLeft = idx[0];
    if (topLeft == 0) {
        std::fprintf(stderr, "top-left pixel came out gold\n");
        return 1;
    }
    if (topLeft != 0x31) {
        std::swap(pal[size_t(topLeft)], pal[0x31]);
        for (uint8_t& v : idx) {
            if (v == topLeft)
                v = 0x31;
            else if (v == 0x31)
                v = uint8_t(topLeft);
        }
    }

    std::vector<uint8_t> palBytes;
    for (const Rgb& p : pal) {
        palBytes.push_back(uint8_t(p.r));
        palBytes.push_back(uint8_t(p.g));
        palBytes.push_back(uint8_t(p.b));
    }
    if (!writeFile(argv[1], palBytes.data(), palBytes.size()) || !writeFile(argv[2], idx.data(), idx.size())) {
        std::fprintf(stderr, "cannot write the output files\n");
        return 1;
    }
    if (argc > 3) {
        std::vector<uint8_t> ppm;
        char header[32];
        int n = std::snprintf(header, sizeof header, "P6\n%d %d\n255\n", Width, Height);
        ppm.insert(ppm.end(), header, header + n);
        for (uint8_t v : idx) ppm.insert(ppm.end(), &palBytes[size_t(v) * 3], &palBytes[size_t(v) * 3] + 3);
        if (!writeFile(argv[3], ppm.data(), ppm.size())) return 1;
    }
    return 0;
}
