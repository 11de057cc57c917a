#include "AssemblyFixture.h"

#include <cstdlib>


#include "common/Locations.h"

namespace vd::test {

void AssemblyTest::SetUp() {
  environment_ = std::make_unique<IsolatedEnvironment>();
  setenv("VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR, 1);
  setenv("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR, 1);
  ASSERT_TRUE(ensureDirectory(environment_->path("work")));
}

void AssemblyTest::TearDown() {
  unsetenv("VELLUMDOCK_PROGRAM_DIR");
  unsetenv("VELLUMDOCK_HELPER_DIR");
  environment_.reset();
}

std::string AssemblyTest::makePdf(const std::string& name, const std::vector<std::string>& pageTexts,
                                  bool bookmarks) const {
  return MakeTextPdf(scratch(name), pageTexts, bookmarks);
}

}  // namespace vd::test
