// The song as an XM module, through the shared XM writer: names and texts
// padded with blanks, one 8-bit sample per instrument that every note plays.
#include "compose.h"
#include "xmwriter.h"

namespace {

XmEnvelope envelope(const EnvelopeRecipe& e) {
  XmEnvelope out;
  for (int i = 0; i < e.pointCount; ++i) out.points.emplace_back(e.x[i], e.y[i]);
  out.sustain = uint8_t(e.sustain < 0 ? 0 : e.sustain);
  out.loopStart = uint8_t(e.loopStart < 0 ? 0 : e.loopStart);
  out.loopEnd = uint8_t(e.loopEnd < 0 ? 0 : e.loopEnd);
  if (e.pointCount >= 2) out.flags = uint8_t(1 | (e.sustain >= 0 ? 2 : 0) | (e.loopStart >= 0 ? 4 : 0));
  return out;
}

}  // namespace

std::vector<uint8_t> writeModule(const Song& song, const std::vector<std::vector<int8_t>>& sampleData) {
  XmModule m;
  m.title = song.title;
  m.trackerName = song.tracker;
  m.textPad = ' ';
  m.channels = uint16_t(song.channels);
  m.flags = song.linear ? 1 : 0;
  m.speed = uint16_t(song.speed);
  m.tempo = uint16_t(song.tempo);
  m.restart = uint16_t(song.restart);
  for (int o : song.order) m.orders.push_back(uint8_t(o));
  for (const Pattern& p : song.patterns) {
    XmPattern& out = m.addPattern(uint16_t(p.rows));
    for (size_t i = 0; i < p.cells.size(); ++i) {
      const Cell& c = p.cells[i];
      out.cells[i] = xmCell(c.note, c.instrument, c.volume, c.effect, c.param);
    }
  }
  for (size_t i = 0; i < song.instruments.size(); ++i) {
    const InstrumentRecipe& r = song.instruments[i];
    XmSample s = xmSample8(std::vector<int32_t>(sampleData[i].begin(), sampleData[i].end()));
    if (r.loopType != 0)
      s.loop(r.loopStart, r.loopToEnd ? uint32_t(sampleData[i].size()) - r.loopStart : r.loopLength,
             uint8_t(r.loopType));
    s.volume = uint8_t(r.volume);
    s.finetune = int8_t(r.finetune);
    s.panning = uint8_t(r.panning);
    s.relativeNote = int8_t(r.relativeNote);
    s.name = r.name;
    XmInstrument& ins = m.addInstrument(s);
    ins.name = r.name;
    ins.volumeEnvelope = envelope(r.volumeEnvelope);
    ins.panningEnvelope = envelope(r.panningEnvelope);
    ins.vibratoType = uint8_t(r.vibratoType);
    ins.vibratoSweep = uint8_t(r.vibratoSweep);
    ins.vibratoDepth = uint8_t(r.vibratoDepth);
    ins.vibratoRate = uint8_t(r.vibratoRate);
    ins.fadeout = uint16_t(r.fadeout);
  }
  return writeXm(m);
}

uint32_t moduleOverhead(const Song& song) {
  return uint32_t(writeModule(song, std::vector<std::vector<int8_t>>(song.instruments.size())).size());
}
