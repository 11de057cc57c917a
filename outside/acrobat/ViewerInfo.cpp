#include "outside/acrobat/ViewerInfo.h"

#include "registry/clsRegistry.h"

namespace vd {

std::string RegisteredViewerVersion() {
  clsRegistry registry;
  std::string version;
  if (registry.OpenRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion") != 0) {
    version = registry.GetValue("").asText();
  }
  registry.CloseRegistry();
  return version.empty() ? std::string("0") : version;
}

std::optional<std::string> ViewerAppValue(const std::string& name) {
  if (name == "viewerVersion" || name == "formsVersion") return RegisteredViewerVersion();
  if (name == "viewerType") return std::string("Exchange-Pro");
  if (name == "viewerVariation") return std::string("Full");
  if (name == "language") return std::string("ENU");
  if (name == "platform") return std::string("UNIX");
  return std::nullopt;
}

}  // namespace vd
