// Renders instrument recipes into 8-bit samples.
//
// The committed module must come out the same on every build, so everything
// here is IEEE double arithmetic with +, -, *, / and floor only (FMA
// contraction is off for this target): sine and exponential are our own
// series, and the noise is our own xorshift generator with a fixed seed.
#include "compose.h"

#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double Ln2 = 0.69314718055994530942;
constexpr double BaseRate = 8363.0;  // frames per second of a sample at C-4 without relative note

// sin(2 pi x) for any x.
double sin2pi(double x) {
  x -= std::floor(x);
  if (x > 0.5) x -= 1.0;
  if (x > 0.25) x = 0.5 - x;
  else if (x < -0.25) x = -0.5 - x;
  const double y = 2.0 * Pi * x;  // |y| <= pi/2
  const double y2 = y * y;
  double term = y, sum = y;
  for (int k = 1; k <= 9; ++k) {
    term = -term * y2 / double((2 * k) * (2 * k + 1));
    sum += term;
  }
  return sum;
}

double expo(double x) {
  const double n = std::floor(x / Ln2 + 0.5);
  const double r = x - n * Ln2;  // |r| <= ln2 / 2
  double term = 1.0, sum = 1.0;
  for (int k = 1; k <= 16; ++k) {
    term = term * r / double(k);
    sum += term;
  }
  return std::ldexp(sum, int(n));
}

double pow2(double x) { return expo(x * Ln2); }

// Per-frame factor of an exponential approach with time constant t seconds.
double decayFactor(double seconds, double rate) { return seconds > 0 ? expo(-1.0 / (seconds * rate)) : 0.0; }

struct Noise {
  uint32_t state;  // xorshift32, never 0
};

// Uniform in [-1, 1).
double nextNoise(Noise& n) {
  n.state ^= n.state << 13;
  n.state ^= n.state >> 17;
  n.state ^= n.state << 5;
  return double(n.state) / 2147483648.0 - 1.0;
}

// Band-limited step correction for the saw and square.
double blep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

double oscillator(WaveKind wave, double phase, double dt, double width) {
  switch (wave) {
    case WaveSine: return sin2pi(phase);
    case WaveSaw: return 2.0 * phase - 1.0 - blep(phase, dt);
    case WaveSquare: {
      double v = phase < width ? 1.0 : -1.0;
      double shifted = phase + 1.0 - width;
      shifted -= std::floor(shifted);
      // Less the pulse's mean, so narrow pulses carry no DC offset.
      return v + blep(phase, dt) - blep(shifted, dt) - (2.0 * width - 1.0);
    }
    case WaveTriangle: return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
    default: return 0.0;
  }
}

// Frequency ratios of the six square waves of a metallic hat.
const double MetalRatios[6] = {1.0, 1.4471, 1.6170, 1.9265, 2.5028, 2.6637};

void renderLayer(const Layer& layer, double rate, uint32_t seed, std::vector<double>& out) {
  Noise noise{seed * 2654435761u + 12345u};
  if (noise.state == 0) noise.state = 1;

  struct Osc {
    double ratio, phase;
  };
  std::vector<Osc> oscs;
  if (layer.wave == WaveMetal) {
    for (double r : MetalRatios) oscs.push_back({r, 0.0});
  } else if (layer.wave != WaveNoise) {
    for (double semis : layer.chord) {
      for (int v = 0; v < layer.voices; ++v) {
        const double spread = layer.voices == 1 ? 0.0 : 2.0 * v / double(layer.voices - 1) - 1.0;
        const double ratio = pow2(semis / 12.0 + spread * layer.detuneCents / 1200.0);
        const double phase = layer.voices == 1 ? 0.0 : (nextNoise(noise) + 1.0) * 0.5;
        oscs.push_back({ratio, phase});
      }
    }
  }
  const double oscGain = oscs.empty() ? 1.0 : 1.0 / std::sqrt(double(oscs.size()));

  const double freqK = decayFactor(layer.freqGlide, rate);
  const double cutK = decayFactor(layer.cutGlide, rate);
  const double decayK = decayFactor(layer.decay, rate);
  const double hpK = layer.highpass > 0 ? expo(-2.0 * Pi * layer.highpass / rate) : 0.0;
  const double damping = 1.0 / (layer.resonance > 0.05 ? layer.resonance : 0.05);

  if (!(layer.delay * rate < double(out.size()))) return;  // starts after the sample ends

  double freqG = 1.0, cutG = 1.0, env = 1.0;
  double low = 0, band = 0, hpIn = 0, hpOut = 0;
  const size_t first = size_t(layer.delay * rate);
  const double attackFrames = layer.attack * rate;
  const double holdEnd = attackFrames + layer.hold * rate;
  for (size_t i = first; i < out.size(); ++i) {
    const double t = double(i - first);
    const double freq = layer.freqGlide > 0 ? layer.freqEnd + (layer.freqStart - layer.freqEnd) * freqG : layer.freqStart;
    freqG *= freqK;

    double v = 0;
    if (layer.wave == WaveNoise) {
      v = nextNoise(noise);
    } else {
      for (Osc& o : oscs) {
        const double dt = freq * o.ratio / rate;
        const WaveKind w = layer.wave == WaveMetal ? WaveSquare : layer.wave;
        v += oscillator(w, o.phase, dt < 0.5 ? dt : 0.5, layer.pulseWidth);
        o.phase += dt;
        o.phase -= std::floor(o.phase);
      }
      v *= oscGain;
    }

    if (layer.filter != FilterNone) {
      double cut = layer.cutGlide > 0 ? layer.cutEnd + (layer.cutStart - layer.cutEnd) * cutG : layer.cutStart;
      cutG *= cutK;
      // Chamberlin state-variable filter, run twice per frame to stay stable up high.
      double ratio = cut / (2.0 * rate);
      if (ratio > 0.2) ratio = 0.2;
      const double f = 2.0 * sin2pi(ratio * 0.5);
      double high = 0;
      for (int pass = 0; pass < 2; ++pass) {
        low += f * band;
        high = v - low - damping * band;
        band += f * high;
      }
      v = layer.filter == FilterLowpass ? low : layer.filter == FilterBandpass ? band : high;
    }
    if (layer.highpass > 0) {
      const double y = hpK * (hpOut + v - hpIn);
      hpIn = v;
      hpOut = y;
      v = y;
    }
    if (layer.drive > 0) {
      v *= 1.0 + layer.drive;
      v = v / (1.0 + (v < 0 ? -v : v));
    }

    double gain = 1.0;
    if (t < attackFrames) gain = t / attackFrames;
    else if (t >= holdEnd && layer.decay > 0) {
      gain = env;
      env *= decayK;
    }
    out[i] += v * gain * layer.amp;
  }
}

}  // namespace

std::vector<int8_t> renderSample(const InstrumentRecipe& recipe) {
  const double rate = BaseRate * pow2((recipe.relativeNote + recipe.finetune / 128.0) / 12.0);
  std::vector<double> mix(recipe.length, 0.0);
  for (size_t k = 0; k < recipe.layers.size(); ++k) renderLayer(recipe.layers[k], rate, recipe.seed + uint32_t(k) * 7919u, mix);

  if (recipe.reverse)
    for (size_t i = 0, j = mix.size() - 1; i < j; ++i, --j) std::swap(mix[i], mix[j]);

  // Forward loop: blend the frames before the loop's end towards the frames
  // before its start, so the jump back continues the waveform seamlessly.
  if (recipe.loopType == 1 && recipe.crossfade > 0) {
    const size_t start = recipe.loopStart;
    const size_t end = recipe.loopToEnd ? mix.size() : start + recipe.loopLength;
    const size_t n = recipe.crossfade < end - start ? recipe.crossfade : end - start;
    for (size_t i = 0; i < n; ++i) {
      const double w = double(i + 1) / double(n + 1);
      mix[end - n + i] = mix[end - n + i] * (1.0 - w) + mix[start - n + i] * w;
    }
  }

  // A one-shot sample ends in silence: the player steps to zero after its
  // last frame, which would click if the sound were still ringing.
  if (recipe.loopType == 0) {
    const size_t n = mix.size() / 4 < 512 ? mix.size() / 4 : 512;
    for (size_t i = 0; i < n; ++i) mix[mix.size() - n + i] *= double(n - i) / double(n + 1);
  }

  double peak = 0;
  for (double v : mix) peak = std::fmax(peak, v < 0 ? -v : v);
  const double scale = peak > 0 ? recipe.peak * 127.0 / peak : 0.0;
  std::vector<int8_t> data(mix.size());
  for (size_t i = 0; i < mix.size(); ++i) {
    double v = std::floor(mix[i] * scale + 0.5);
    data[i] = int8_t(v > 127 ? 127 : v < -127 ? -127 : v);
  }
  return data;
}
