#include "support/TextPageRendering.h"

#include <stdexcept>

#include "outside/ghostscript/GhostscriptRunner.h"
#include "support/ContentChecks.h"

namespace vd::test {

std::string RenderTextPages(const TextPages& pages, const std::string& device, const std::string& picture) {
  const std::string source = picture + ".ps";
  WriteBytes(source, pages.postScript);
  const GhostscriptResult rendered =
      RunGhostscriptJob({"-sDEVICE=" + device, "-r300", "-dTextAlphaBits=4", "-dGraphicsAlphaBits=4"}, source, picture);
  if (!rendered.ok) throw std::runtime_error("Ghostscript did not render " + picture + ": " + rendered.messages);
  return picture;
}

}  // namespace vd::test
