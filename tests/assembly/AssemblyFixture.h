// What the assembly tests share: an isolated world whose program folder holds the built
// blank.pdf, small PDFs with known text on every page, and ways to look inside results.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/CreatePDF.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {

// The engine with its detected Acrobat version under the test's control.
class TestEngine : public CreatePDF {
 public:
  void setAcrobatVersion(std::string version) { m_AcrobatVersion = std::move(version); }
};

class AssemblyTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string scratch(const std::string& name) const { return environment_->path("work/" + name); }
  // A PDF with one page per text; with bookmarks, one outline item per page titled
  // "Mark <text>" pointing at it.
  std::string makePdf(const std::string& name, const std::vector<std::string>& pageTexts, bool bookmarks = false) const;

  std::unique_ptr<IsolatedEnvironment> environment_;
  TestEngine engine_;
};

}  // namespace vd::test
