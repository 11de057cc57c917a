// What the tests of PDF assembly share (image import, joining, script runs): an isolated
// world whose program folder holds the built blank.pdf, an engine whose viewer version the
// test sets, and small PDFs with known text on every page.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/CreatePDF.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {

// The engine with its detected Acrobat version under the test's control: made anew, as
// the version is what an engine detects when it is made.
class TestEngine {
 public:
  void setAcrobatVersion(std::string version) { engine_.emplace(EngineDetection{std::move(version)}); }
  CreatePDF* operator->() { return &*engine_; }
  CreatePDF& operator*() { return *engine_; }

 private:
  std::optional<CreatePDF> engine_{std::in_place};
};

class AssemblyTest : public IsolatedTest {
 protected:
  // A PDF in the work folder with one page per text; with bookmarks, one outline item
  // per page titled "Mark <text>" pointing at it.
  std::string makePdf(const std::string& name, const std::vector<std::string>& pageTexts,
                      bool bookmarks = false) const {
    return MakeTextPdf(scratch(name), pageTexts, bookmarks);
  }

  TestEngine engine_;
};

}  // namespace vd::test
