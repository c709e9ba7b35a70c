// compose SCORE OUT.xm: renders the score's instruments and writes the module.
#include "compose.h"

#include <cstdio>

#include "xmwriter.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: compose SCORE.txt OUT.xm\n");
    return 2;
  }
  Song song;
  if (!loadScore(argv[1], song)) return 1;

  // The one instrument marked 'length fill' takes what is left of the target size.
  uint32_t used = moduleOverhead(song);
  for (const InstrumentRecipe& ins : song.instruments)
    if (!ins.fillLength) used += ins.length;
  for (InstrumentRecipe& ins : song.instruments) {
    if (!ins.fillLength) continue;
    if (used >= song.targetSize || song.targetSize - used <= ins.loopStart + 2) {
      std::fprintf(stderr, "%s: no room left for '%s' within %u bytes (%u used)\n", argv[1], ins.name.c_str(), song.targetSize, used);
      return 1;
    }
    ins.length = song.targetSize - used;
    if (ins.loopType && !ins.loopToEnd && ins.loopStart + ins.loopLength > ins.length) {
      std::fprintf(stderr, "%s: '%s' loops past its end\n", argv[1], ins.name.c_str());
      return 1;
    }
  }

  std::vector<std::vector<int8_t>> samples;
  for (const InstrumentRecipe& ins : song.instruments) samples.push_back(renderSample(ins));
  const std::vector<uint8_t> bytes = writeModule(song, samples);
  if (song.targetSize && bytes.size() != song.targetSize) {
    std::fprintf(stderr, "%s: module is %zu bytes, not %u\n", argv[1], bytes.size(), song.targetSize);
    return 1;
  }

  if (!writeBytesFile(argv[2], bytes)) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
