#include "platform/FileDialogs.h"

namespace vd {
namespace {

class NoFileDialogs : public FileDialogs {
 public:
  std::string saveFileName(const SaveFileQuestion& /*question*/) override { return {}; }
};

}  // namespace

template <>
FileDialogs& Seam<FileDialogs>::defaultInstance() {
  static NoFileDialogs instance;
  return instance;
}

}  // namespace vd
