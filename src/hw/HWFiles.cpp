#include "hw/HWFiles.h"

#include "framework/Strings.h"

namespace veltra {

TIFFChunk* FindChild(IIFFStream& iff, TIFFChunk* node, TChunkID id) {
  const TChunkID ids[] = {id};
  return iff.FindChunk(node, ids, 0);
}

std::string UnsupportedVersionText(const std::string& className) {
  return FormatText(LocalisedString(strings::kUnsupportedVersion), {className});
}

}  // namespace veltra
