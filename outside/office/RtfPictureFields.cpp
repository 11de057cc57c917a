#include "outside/office/RtfPictureFields.h"

#include <cstring>
#include <fstream>

namespace vd::office {

bool isRichText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char start[5] = {};
  return file.read(start, sizeof start) && std::memcmp(start, "{\\rtf", sizeof start) == 0;
}

bool disarmPictureFields(std::string& richText) {
  static const std::string field = "INCLUDEPICTURE";
  static const std::string inert = "IncludePicture";
  bool changed = false;
  for (std::size_t at = richText.find(field); at != std::string::npos; at = richText.find(field, at + field.size())) {
    richText.replace(at, field.size(), inert);
    changed = true;
  }
  return changed;
}

}  // namespace vd::office
