#include "server/PassFilter.h"

#include "common/Text.h"
#include "platform/Clock.h"
#include "server/PathNames.h"

namespace vd {

bool LeftAloneByName(const std::string& name) {
  const std::string ext = GetExtension(name);
  return ext == "exe" || ext == "pdf" || toLowerAscii(name) == "st6unst.log";
}

bool IsStillBeingWritten(const FileStamp& stamp) {
  constexpr std::int64_t kSettleNanoseconds = 1000000000;
  const std::int64_t age = clock().wallNanoseconds() - stamp.modifiedNanoseconds;
  return age < kSettleNanoseconds && age > -kSettleNanoseconds;
}

bool LeftInPlaceFiles::isUnchanged(const std::string& path, const FileStamp& stamp) {
  const auto found = stamps_.find(path);
  if (found == stamps_.end()) return false;
  if (found->second == stamp) return true;
  stamps_.erase(found);
  return false;
}

}  // namespace vd
