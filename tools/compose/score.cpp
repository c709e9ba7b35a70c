// Reads the score: a line-based text format (see assets/tune/README.md).
// Song settings, instruments as synthesis recipes, phrases (short grids of
// cells for one channel) and patterns that lay phrases out on channels.
#include "compose.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

struct Reader {
  std::string file;
  int line = 0;
  bool failed = false;
};

bool fail(Reader& r, const std::string& message) {
  if (!r.failed) std::fprintf(stderr, "%s:%d: %s\n", r.file.c_str(), r.line, message.c_str());
  r.failed = true;
  return false;
}

std::vector<std::string> splitWords(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '#') break;
    if (text[i] == ' ' || text[i] == '\t' || text[i] == '\r') {
      ++i;
      continue;
    }
    if (text[i] == '"') {
      size_t end = text.find('"', i + 1);
      if (end == std::string::npos) end = text.size();
      words.push_back(text.substr(i, end - i + 1));
      i = end + 1;
      continue;
    }
    size_t end = i;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r') ++end;
    words.push_back(text.substr(i, end - i));
    i = end;
  }
  return words;
}

bool parseInt(const std::string& s, long& v, int base = 10) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtol(s.c_str(), &end, base);
  return *end == 0;
}

bool intIn(Reader& r, const std::string& s, long lo, long hi, long& v, int base = 10) {
  if (!parseInt(s, v, base) || v < lo || v > hi)
    return fail(r, "expected a number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", got '" + s + "'");
  return true;
}

// "C-4", "F#2": note number 1..96 (C-0 = 1).
int noteNumber(const std::string& s) {
  if (s.size() != 3) return -1;
  static const char names[] = "CCDDEFFGGAAB";
  static const char sharps[] = "-#-#--#-#-#-";
  for (int i = 0; i < 12; ++i) {
    if (s[0] == names[i] && s[1] == sharps[i] && s[2] >= '0' && s[2] <= '7') return (s[2] - '0') * 12 + i + 1;
  }
  return -1;
}

// A frequency: Hz, or a note name meaning that note's pitch (A-4 = 440 Hz).
bool parseFrequency(const std::string& s, double& hz) {
  const int note = noteNumber(s);
  if (note > 0) {
    // 2^((note - 58) / 12) by exact semitone steps from A-4, in plain products.
    static const double semitone[12] = {1.0,
                                        1.0594630943592953,
                                        1.122462048309373,
                                        1.189207115002721,
                                        1.2599210498948732,
                                        1.3348398541700344,
                                        1.4142135623730951,
                                        1.4983070768766815,
                                        1.5874010519681994,
                                        1.681792830507429,
                                        1.7817974362806785,
                                        1.887748625363387};
    int steps = note - 58;
    double f = 440.0;
    while (steps < 0) {
      steps += 12;
      f *= 0.5;
    }
    while (steps >= 12) {
      steps -= 12;
      f *= 2.0;
    }
    hz = f * semitone[steps];
    return true;
  }
  char* end = nullptr;
  hz = std::strtod(s.c_str(), &end);
  return *end == 0 && hz > 0;
}

bool parseReal(Reader& r, const std::string& s, double& v) {
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != 0) return fail(r, "expected a number, got '" + s + "'");
  return true;
}

// "A>B" or "A": a start and an end value.
bool parseRange(Reader& r, const std::string& s, double& a, double& b, bool frequency) {
  const size_t gt = s.find('>');
  const std::string first = s.substr(0, gt);
  const std::string second = gt == std::string::npos ? first : s.substr(gt + 1);
  if (frequency) {
    if (!parseFrequency(first, a) || !parseFrequency(second, b)) return fail(r, "bad frequency '" + s + "'");
    return true;
  }
  return parseReal(r, first, a) && parseReal(r, second, b);
}

bool parseEnvelope(Reader& r, const std::vector<std::string>& w, EnvelopeRecipe& e) {
  e = EnvelopeRecipe();
  for (size_t i = 1; i < w.size(); ++i) {
    if (w[i] == "sustain" && i + 1 < w.size()) {
      long v;
      if (!intIn(r, w[++i], 0, MaxEnvelopePoints - 1, v)) return false;
      e.sustain = int(v);
    } else if (w[i] == "loop" && i + 2 < w.size()) {
      long a, b;
      if (!intIn(r, w[i + 1], 0, MaxEnvelopePoints - 1, a) || !intIn(r, w[i + 2], a, MaxEnvelopePoints - 1, b)) return false;
      e.loopStart = int(a);
      e.loopEnd = int(b);
      i += 2;
    } else {
      const size_t comma = w[i].find(',');
      long x, y;
      if (comma == std::string::npos || e.pointCount == MaxEnvelopePoints) return fail(r, "bad envelope point '" + w[i] + "'");
      if (!intIn(r, w[i].substr(0, comma), 0, 65535, x) || !intIn(r, w[i].substr(comma + 1), 0, 64, y)) return false;
      if (e.pointCount > 0 && x <= e.x[e.pointCount - 1]) return fail(r, "envelope ticks must increase");
      e.x[e.pointCount] = uint16_t(x);
      e.y[e.pointCount] = uint16_t(y);
      ++e.pointCount;
    }
  }
  if (e.pointCount < 2) return fail(r, "an envelope needs at least two points");
  if (e.sustain >= e.pointCount || e.loopEnd >= e.pointCount) return fail(r, "envelope point index beyond the points");
  return true;
}

bool parseLayer(Reader& r, const std::vector<std::string>& w, Layer& layer) {
  static const std::map<std::string, WaveKind> waves = {{"sine", WaveSine},   {"saw", WaveSaw},     {"square", WaveSquare},
                                                        {"tri", WaveTriangle}, {"noise", WaveNoise}, {"metal", WaveMetal}};
  if (w.size() < 2 || !waves.count(w[1])) return fail(r, "layer needs a wave: sine, saw, square, tri, noise or metal");
  layer.wave = waves.at(w[1]);
  if ((w.size() - 2) % 2 != 0) return fail(r, "layer settings come in pairs");
  for (size_t i = 2; i + 1 < w.size(); i += 2) {
    const std::string& key = w[i];
    const std::string& val = w[i + 1];
    double d = 0;
    if (key == "freq") {
      if (!parseRange(r, val, layer.freqStart, layer.freqEnd, true)) return false;
    } else if (key == "lp" || key == "bp" || key == "hpf") {
      layer.filter = key == "lp" ? FilterLowpass : key == "bp" ? FilterBandpass : FilterHighpass;
      if (!parseRange(r, val, layer.cutStart, layer.cutEnd, false)) return false;
    } else if (key == "chord") {
      layer.chord.clear();
      std::stringstream ss(val);
      std::string part;
      while (std::getline(ss, part, ',')) {
        if (!parseReal(r, part, d)) return false;
        layer.chord.push_back(d);
      }
    } else if (key == "voices") {
      long v;
      if (!intIn(r, val, 1, 16, v)) return false;
      layer.voices = int(v);
    } else {
      static const std::map<std::string, double Layer::*> reals = {
          {"glide", &Layer::freqGlide}, {"detune", &Layer::detuneCents}, {"amp", &Layer::amp},
          {"delay", &Layer::delay},     {"attack", &Layer::attack},      {"hold", &Layer::hold},
          {"decay", &Layer::decay},     {"pw", &Layer::pulseWidth},      {"cutglide", &Layer::cutGlide},
          {"res", &Layer::resonance},   {"hp", &Layer::highpass},        {"drive", &Layer::drive}};
      auto it = reals.find(key);
      if (it == reals.end()) return fail(r, "unknown layer setting '" + key + "'");
      if (!parseReal(r, val, d)) return false;
      if (d < 0) return fail(r, "'" + key + "' cannot be negative");
      layer.*(it->second) = d;
    }
  }
  return true;
}

bool parseInstrumentLine(Reader& r, const std::vector<std::string>& w, InstrumentRecipe& ins) {
  const std::string& key = w[0];
  long v;
  auto need = [&](size_t n) { return w.size() >= n || fail(r, "'" + key + "' needs more values"); };
  if (key == "rel") return need(2) && intIn(r, w[1], -96, 95, v) && ((ins.relativeNote = int(v)), true);
  if (key == "fine") return need(2) && intIn(r, w[1], -128, 127, v) && ((ins.finetune = int(v)), true);
  if (key == "volume") return need(2) && intIn(r, w[1], 0, 64, v) && ((ins.volume = int(v)), true);
  if (key == "pan") return need(2) && intIn(r, w[1], 0, 255, v) && ((ins.panning = int(v)), true);
  if (key == "fadeout") return need(2) && intIn(r, w[1], 0, 4095, v) && ((ins.fadeout = int(v)), true);
  if (key == "seed") return need(2) && intIn(r, w[1], 1, 0x7FFFFFFF, v) && ((ins.seed = uint32_t(v)), true);
  if (key == "reverse") return (ins.reverse = true);
  if (key == "peak") return need(2) && parseReal(r, w[1], ins.peak) && (ins.peak > 0 && ins.peak <= 1 ? true : fail(r, "peak must lie in (0, 1]"));
  if (key == "length") {
    if (!need(2)) return false;
    if (w[1] == "fill") return (ins.fillLength = true);
    return intIn(r, w[1], 1, 16000000, v) && ((ins.length = uint32_t(v)), true);
  }
  if (key == "loop") {
    if (!need(4)) return false;
    if (w[1] == "forward") ins.loopType = 1;
    else if (w[1] == "pingpong") ins.loopType = 2;
    else return fail(r, "loop is forward or pingpong");
    if (!intIn(r, w[2], 0, 16000000, v)) return false;
    ins.loopStart = uint32_t(v);
    if (w[3] == "end") ins.loopToEnd = true;
    else if (!intIn(r, w[3], 2, 16000000, v)) return false;
    else ins.loopLength = uint32_t(v);
    if (w.size() >= 6 && w[4] == "xfade") {
      if (!intIn(r, w[5], 0, 16000000, v)) return false;
      ins.crossfade = uint32_t(v);
    }
    return true;
  }
  if (key == "venv") return parseEnvelope(r, w, ins.volumeEnvelope);
  if (key == "penv") return parseEnvelope(r, w, ins.panningEnvelope);
  if (key == "autovibrato") {
    long a, b, c, d;
    if (!need(5) || !intIn(r, w[1], 0, 3, a) || !intIn(r, w[2], 0, 255, b) || !intIn(r, w[3], 0, 15, c) || !intIn(r, w[4], 0, 63, d))
      return false;
    ins.vibratoType = int(a);
    ins.vibratoSweep = int(b);
    ins.vibratoDepth = int(c);
    ins.vibratoRate = int(d);
    return true;
  }
  if (key == "layer") {
    Layer layer;
    if (!parseLayer(r, w, layer)) return false;
    ins.layers.push_back(layer);
    return true;
  }
  return fail(r, "unknown instrument setting '" + key + "'");
}

bool hexDigit(char c, int& v) {
  if (c >= '0' && c <= '9') v = c - '0';
  else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
  else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
  else return false;
  return true;
}

// Volume column as trackers show it: "40" set volume 0x40, "-3"/"+3" slide,
// "d3"/"u3" fine slide, "s3" vibrato speed, "v3" vibrato depth, "p8" panning,
// "l3"/"r3" panning slide, "m3" tone portamento.
bool parseVolumeColumn(const std::string& s, uint8_t& out) {
  if (s == "..") return (out = 0), true;
  int lo, hi;
  if (s.size() != 2 || !hexDigit(s[1], lo)) return false;
  if (s[0] >= '0' && s[0] <= '4') {  // a set volume starts with a digit; 'd' is a fine slide
    hi = s[0] - '0';
    const int v = hi * 16 + lo;
    if (v > 64) return false;
    out = uint8_t(0x10 + v);
    return true;
  }
  static const std::string codes = "-+dusvplrm";
  const size_t k = codes.find(s[0]);
  if (k == std::string::npos) return false;
  out = uint8_t((0x6 + k) * 16 + lo);
  return true;
}

// Effect as "A0F": effect digit or letter and a two-digit hex parameter.
bool parseEffect(const std::string& s, uint8_t& effect, uint8_t& param) {
  if (s == "...") return (effect = param = 0), true;
  int hi, lo;
  if (s.size() != 3 || !hexDigit(s[1], hi) || !hexDigit(s[2], lo)) return false;
  if (s[0] >= '0' && s[0] <= '9') effect = uint8_t(s[0] - '0');
  else if (s[0] >= 'A' && s[0] <= 'Z') effect = uint8_t(s[0] - 'A' + 10);
  else return false;
  param = uint8_t(hi * 16 + lo);
  return true;
}

bool parseCell(Reader& r, const std::vector<std::string>& w, size_t first, Cell& c) {
  c = Cell();
  if (first < w.size()) {
    const std::string& n = w[first];
    if (n == "===") c.note = 97;
    else if (n != "...") {
      const int note = noteNumber(n);
      if (note < 0) return fail(r, "bad note '" + n + "'");
      c.note = uint8_t(note);
    }
  }
  if (first + 1 < w.size() && w[first + 1] != "..") {
    long v;
    if (!intIn(r, w[first + 1], 1, MaxInstruments, v, 16)) return false;
    c.instrument = uint8_t(v);
  }
  if (first + 2 < w.size() && !parseVolumeColumn(w[first + 2], c.volume)) return fail(r, "bad volume column '" + w[first + 2] + "'");
  if (first + 3 < w.size() && !parseEffect(w[first + 3], c.effect, c.param)) return fail(r, "bad effect '" + w[first + 3] + "'");
  if (first + 4 < w.size()) return fail(r, "too many fields in a cell");
  return true;
}

// Placement: NAME with optional modifiers in any order: +N / -N transpose by
// N semitones, %N scales the note volumes to N percent, *N repeats N times.
struct Placement {
  std::string name;
  int transpose = 0, percent = 100, repeat = 1;
};

bool parsePlacement(Reader& r, const std::string& s, Placement& p) {
  size_t i = 0;
  // A '-' followed by a digit transposes; any other '-' belongs to the name.
  while (i < s.size() && s[i] != '+' && s[i] != '%' && s[i] != '*' &&
         !(s[i] == '-' && i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9'))
    ++i;
  p.name = s.substr(0, i);
  if (p.name.empty()) return fail(r, "placement without a phrase name: '" + s + "'");
  while (i < s.size()) {
    const char op = s[i++];
    size_t j = i;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    long v;
    if (!intIn(r, s.substr(i, j - i), 0, 1000, v)) return false;
    if (op == '+') p.transpose += int(v);
    else if (op == '-') p.transpose -= int(v);
    else if (op == '%') p.percent = int(v);
    else p.repeat = int(v);
    i = j;
  }
  return true;
}

Cell placeCell(const Song& song, Cell c, const Placement& p) {
  if (c.note >= 1 && c.note <= 96) c.note = uint8_t(c.note + p.transpose);  // range checked by the caller
  if (p.percent != 100 && c.note >= 1 && c.note <= 96) {
    int volume = -1;
    if (c.volume >= 0x10 && c.volume <= 0x50) volume = c.volume - 0x10;
    else if (c.volume == 0 && c.instrument >= 1 && c.instrument <= int(song.instruments.size()))
      volume = song.instruments[c.instrument - 1].volume;
    if (volume >= 0) {
      int scaled = (volume * p.percent + 50) / 100;
      c.volume = uint8_t(0x10 + (scaled > 64 ? 64 : scaled));
    }
  }
  return c;
}

bool layOutChannel(Reader& r, Song& song, Pattern& pattern, int channel, const std::vector<std::string>& w) {
  int row = 0;
  for (size_t i = 2; i < w.size(); ++i) {
    Placement p;
    if (!parsePlacement(r, w[i], p)) return false;
    const Phrase* phrase = nullptr;
    for (const Phrase& ph : song.phrases)
      if (ph.name == p.name) phrase = &ph;
    if (!phrase) return fail(r, "no phrase named '" + p.name + "' (phrases are defined before the patterns using them)");
    for (int k = 0; k < p.repeat; ++k) {
      if (row + phrase->rows > pattern.rows) return fail(r, "channel " + std::to_string(channel + 1) + " runs past the pattern's end");
      for (int j = 0; j < phrase->rows; ++j) {
        const int note = phrase->cells[size_t(j)].note;
        if (note >= 1 && note <= 96 && (note + p.transpose < 1 || note + p.transpose > 96))
          return fail(r, "'" + w[i] + "' moves a note out of C-0..B-7");
        pattern.cells[size_t((row + j) * song.channels + channel)] = placeCell(song, phrase->cells[size_t(j)], p);
      }
      row += phrase->rows;
    }
  }
  return true;
}

enum class Block { None, Instrument, Phrase, Pattern };

bool readFile(const std::string& path, Song& song, int depth);

bool readLines(Reader& r, std::istream& in, const std::string& dir, Song& song, int depth) {
  Block block = Block::None;
  std::string text;
  while (std::getline(in, text)) {
    ++r.line;
    const std::vector<std::string> w = splitWords(text);
    if (w.empty()) continue;
    if (w[0] == "end") {
      if (block == Block::None) return fail(r, "'end' outside a block");
      if (block == Block::Instrument) {
        const InstrumentRecipe& ins = song.instruments.back();
        if (ins.layers.empty()) return fail(r, "instrument '" + ins.name + "' has no layer");
        if (!ins.fillLength && ins.length == 0) return fail(r, "instrument '" + ins.name + "' has no length");
        if (ins.loopType && !ins.fillLength && ins.loopStart + (ins.loopToEnd ? 2 : ins.loopLength) > ins.length)
          return fail(r, "instrument '" + ins.name + "' loops past its end");
        if (ins.crossfade > ins.loopStart || (ins.crossfade && ins.loopType != 1))
          return fail(r, "a crossfade needs a forward loop starting at least that far in");
      }
      block = Block::None;
      continue;
    }
    if (block == Block::Instrument) {
      if (!parseInstrumentLine(r, w, song.instruments.back())) return false;
      continue;
    }
    if (block == Block::Phrase) {
      // "ROW cell", or "FIRST-LAST cell" / "FIRST-LAST:STEP cell" for the same cell on a run of rows.
      Phrase& ph = song.phrases.back();
      const size_t dash = w[0].find('-'), colon = w[0].find(':');
      long first, last, step = 1;
      if (dash == std::string::npos) {
        if (!intIn(r, w[0], 0, ph.rows - 1, first)) return false;
        last = first;
      } else {
        if (!intIn(r, w[0].substr(0, dash), 0, ph.rows - 1, first)) return false;
        if (!intIn(r, w[0].substr(dash + 1, colon == std::string::npos ? std::string::npos : colon - dash - 1), first, ph.rows - 1, last))
          return false;
        if (colon != std::string::npos && !intIn(r, w[0].substr(colon + 1), 1, MaxRows, step)) return false;
      }
      Cell cell;
      if (!parseCell(r, w, 1, cell)) return false;
      for (long row = first; row <= last; row += step) ph.cells[size_t(row)] = cell;
      continue;
    }
    if (block == Block::Pattern) {
      long channel;
      if (w[0] != "ch" || w.size() < 2) return fail(r, "pattern lines are 'ch N phrase...'");
      if (!intIn(r, w[1], 1, song.channels, channel)) return false;
      if (!layOutChannel(r, song, song.patterns.back(), int(channel - 1), w)) return false;
      continue;
    }
    const std::string& key = w[0];
    long v;
    if (key == "title" || key == "tracker") {
      if (w.size() != 2 || w[1].size() < 2 || w[1][0] != '"') return fail(r, "expected quoted text");
      std::string t = w[1].substr(1, w[1].size() - 2);
      if (t.size() > 20) return fail(r, "at most 20 characters");
      (key == "title" ? song.title : song.tracker) = t;
    } else if (key == "channels") {
      if (w.size() != 2 || !intIn(r, w[1], 1, MaxChannels, v)) return fail(r, "channels N");
      if (!song.patterns.empty()) return fail(r, "channels must come before the patterns");
      song.channels = int(v);
    } else if (key == "speed") {
      if (w.size() != 2 || !intIn(r, w[1], 1, 31, v)) return false;
      song.speed = int(v);
    } else if (key == "tempo") {
      if (w.size() != 2 || !intIn(r, w[1], 32, 255, v)) return false;
      song.tempo = int(v);
    } else if (key == "frequencies") {
      if (w.size() != 2 || (w[1] != "linear" && w[1] != "amiga")) return fail(r, "frequencies linear|amiga");
      song.linear = w[1] == "linear";
    } else if (key == "size") {
      if (w.size() != 2 || !intIn(r, w[1], 1, 0x7FFFFFFF, v)) return false;
      song.targetSize = uint32_t(v);
    } else if (key == "order") {
      for (size_t i = 1; i < w.size(); ++i) {
        if (!intIn(r, w[i], 0, 255, v)) return false;
        if (song.order.size() == MaxOrders) return fail(r, "too many order entries");
        song.order.push_back(int(v));
      }
    } else if (key == "restart") {
      if (w.size() != 2 || !intIn(r, w[1], 0, 255, v)) return false;
      song.restart = int(v);
    } else if (key == "include") {
      if (w.size() != 2) return fail(r, "include FILE");
      if (depth > 8) return fail(r, "includes nested too deeply");
      if (!readFile(dir + "/" + w[1], song, depth + 1)) return (r.failed = true), false;
    } else if (key == "instrument") {
      if (w.size() != 2) return fail(r, "instrument NAME");
      if (song.instruments.size() == MaxInstruments) return fail(r, "too many instruments");
      song.instruments.emplace_back();
      song.instruments.back().name = w[1];
      block = Block::Instrument;
    } else if (key == "phrase") {
      if (w.size() != 3 || !intIn(r, w[2], 1, MaxRows, v)) return fail(r, "phrase NAME ROWS");
      for (const Phrase& ph : song.phrases)
        if (ph.name == w[1]) return fail(r, "phrase '" + w[1] + "' defined twice");
      song.phrases.push_back(Phrase{w[1], int(v), std::vector<Cell>(size_t(v))});
      block = Block::Phrase;
    } else if (key == "pattern") {
      long index;
      if (w.size() != 4 || !intIn(r, w[1], 0, 255, index) || !intIn(r, w[3], 1, MaxRows, v)) return fail(r, "pattern INDEX NAME ROWS");
      if (song.channels == 0) return fail(r, "channels must be set before the patterns");
      if (index != long(song.patterns.size())) return fail(r, "patterns are numbered in order from 0");
      song.patterns.push_back(Pattern{w[2], int(v), std::vector<Cell>(size_t(v * song.channels))});
      block = Block::Pattern;
    } else {
      return fail(r, "unknown setting '" + key + "'");
    }
  }
  if (block != Block::None) return fail(r, "block not closed with 'end'");
  return !r.failed;
}

bool readFile(const std::string& path, Song& song, int depth) {
  std::ifstream in(path);
  Reader r;
  r.file = path;
  if (!in) return fail(r, "cannot read the file");
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  return readLines(r, in, dir, song, depth);
}

}  // namespace

bool loadScore(const std::string& path, Song& song) {
  song = Song();
  song.phrases.push_back(Phrase{"rest", 1, std::vector<Cell>(1)});
  if (!readFile(path, song, 0)) return false;
  Reader r;
  r.file = path;
  if (song.channels == 0 || song.patterns.empty() || song.order.empty()) return fail(r, "the song needs channels, patterns and an order");
  for (int o : song.order)
    if (o >= int(song.patterns.size())) return fail(r, "order names pattern " + std::to_string(o) + ", which does not exist");
  if (song.restart >= int(song.order.size())) return fail(r, "restart position beyond the order");
  int fills = 0;
  for (const InstrumentRecipe& ins : song.instruments) fills += ins.fillLength;
  if (fills > 1 || (fills == 1 && song.targetSize == 0)) return fail(r, "'length fill' needs a 'size' and may appear once");
  for (const Pattern& p : song.patterns)
    for (const Cell& c : p.cells)
      if (c.instrument > song.instruments.size()) return fail(r, "pattern '" + p.name + "' uses a missing instrument");
  return true;
}
