// A program of the core alone, as a server without a window is built: no widget library
// is loaded into it, and a message box of the core goes to standard error instead of
// waiting for a click.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>

#include "common/Seam.h"
#include "platform/MessageBoxes.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

TEST(WindowlessProgramTest, MessageBoxOfTheCoreIsWrittenToStandardErrorAndNoWidgetsAreLoaded) {
  ASSERT_NE(QCoreApplication::instance(), nullptr);
  IsolatedEnvironment environment;
  const std::string captured = environment.path("stderr.txt");
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  const int file = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(file, 0);
  dup2(file, STDERR_FILENO);
  close(file);
  messageBoxes().show("Unable to process that Type of data.", "Vellumdock", MessageIcon::None);
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  EXPECT_EQ(ReadBytes(captured), "Vellumdock: Unable to process that Type of data.\n");

  const std::string maps = ReadBytes("/proc/self/maps");
  EXPECT_NE(maps.find("/libQt6Core.so"), std::string::npos);
  EXPECT_EQ(maps.find("libQt6Widgets"), std::string::npos);
}

}  // namespace
}  // namespace vd::test
