// The composing tool's records: the parsed score (song, instruments as
// synthesis recipes, phrases and patterns) and the entry points of its parts.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Limits of the module format as we write it.
constexpr int MaxChannels = 32;
constexpr int MaxRows = 256;
constexpr int MaxOrders = 256;
constexpr int MaxEnvelopePoints = 12;
constexpr int MaxInstruments = 128;

struct Cell {
  uint8_t note = 0;        // 0 none, 1..96 C-0..B-7, 97 key off
  uint8_t instrument = 0;  // 0 none, else 1-based
  uint8_t volume = 0;      // raw volume-column byte
  uint8_t effect = 0;
  uint8_t param = 0;
};

struct EnvelopeRecipe {
  int pointCount = 0;
  uint16_t x[MaxEnvelopePoints] = {};
  uint16_t y[MaxEnvelopePoints] = {};
  int sustain = -1;    // point index or -1
  int loopStart = -1;  // point indices or -1
  int loopEnd = -1;
};

enum WaveKind { WaveSine, WaveSaw, WaveSquare, WaveTriangle, WaveNoise, WaveMetal };
enum FilterKind { FilterNone, FilterLowpass, FilterBandpass, FilterHighpass };

// One sound source of a sample; all times in seconds, frequencies in Hz as
// heard when the instrument plays C-4.
struct Layer {
  WaveKind wave = WaveSine;
  double freqStart = 261.6255653005986, freqEnd = 261.6255653005986, freqGlide = 0;
  int voices = 1;
  double detuneCents = 0;
  std::vector<double> chord{0};  // semitone offsets, one oscillator set each
  double amp = 1;
  double delay = 0, attack = 0, hold = 0, decay = 0;  // decay: exponential time constant, 0 = none
  double pulseWidth = 0.5;
  FilterKind filter = FilterNone;
  double cutStart = 0, cutEnd = 0, cutGlide = 0, resonance = 0.7;
  double highpass = 0;  // one-pole high-pass corner, 0 = off
  double drive = 0;     // soft saturation amount, 0 = off
};

struct InstrumentRecipe {
  std::string name;
  int relativeNote = 0, finetune = 0, volume = 64, panning = 128;
  uint32_t length = 0;
  bool fillLength = false;  // length chosen so the module lands on the target size
  int loopType = 0;         // 0 none, 1 forward, 2 ping-pong
  uint32_t loopStart = 0, loopLength = 0;
  bool loopToEnd = false;  // loop length = length - loopStart
  uint32_t crossfade = 0;  // frames blended before a forward loop's end
  bool reverse = false;
  double peak = 0.97;  // normalised peak, fraction of full scale
  uint32_t seed = 1;
  EnvelopeRecipe volumeEnvelope, panningEnvelope;
  int vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
  int fadeout = 0;
  std::vector<Layer> layers;
};

struct Phrase {
  std::string name;
  int rows = 0;
  std::vector<Cell> cells;
};

struct Pattern {
  std::string name;
  int rows = 0;
  std::vector<Cell> cells;  // rows x channels, row by row
};

struct Song {
  std::string title, tracker = "compose";
  int channels = 0, speed = 6, tempo = 125;
  bool linear = true;
  uint32_t targetSize = 0;  // 0 = no fixed size
  std::vector<int> order;
  int restart = 0;
  std::vector<InstrumentRecipe> instruments;
  std::vector<Phrase> phrases;
  std::vector<Pattern> patterns;
};

// score.cpp: reads the score; on error prints "file:line: message" and returns false.
bool loadScore(const std::string& path, Song& song);

// synth.cpp: renders one instrument's sample as signed 8-bit values.
std::vector<int8_t> renderSample(const InstrumentRecipe& recipe);

// xm_writer.cpp: the module bytes; sampleData holds one sample per instrument.
std::vector<uint8_t> writeModule(const Song& song, const std::vector<std::vector<int8_t>>& sampleData);
// Bytes the module takes apart from the sample data.
uint32_t moduleOverhead(const Song& song);
