// A program of the core alone, as a server without a window is built: a QCoreApplication,
// the scan cycle with the real engine reporting to a recording observer, converting a
// PostScript file and an image. No widget library may be loaded into such a program, and a
// message box of the core goes to standard error instead of waiting for a click.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "ScanCycleFixture.h"
#include "platform/MessageBoxes.h"

namespace vd::test {
namespace {

// The shared libraries mapped into this process, one path per line of /proc/self/maps.
std::vector<std::string> loadedLibraries() {
  std::vector<std::string> libraries;
  std::istringstream maps(ReadBytes("/proc/self/maps"));
  for (std::string line; std::getline(maps, line);) {
    const auto slash = line.find('/');
    if (slash != std::string::npos && line.find(".so", slash) != std::string::npos) libraries.push_back(line.substr(slash));
  }
  return libraries;
}

bool anyContains(const std::vector<std::string>& libraries, const std::string& part) {
  return std::any_of(libraries.begin(), libraries.end(),
                     [&](const std::string& library) { return library.find(part) != std::string::npos; });
}

class WindowlessConversionTest : public ScanCycleFixture {
 protected:
  void SetUp() override {
    ScanCycleFixture::SetUp();
    environment.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
    environment.set("VELLUMDOCK_PROGRAM_DIR", VD_BUILD_PROGRAM_DIR);
    runSetup(environment);
  }
};

TEST_F(WindowlessConversionTest, CoreAloneConvertsPostScriptAndAnImageWithoutWidgets) {
  ASSERT_NE(QCoreApplication::instance(), nullptr);
  CopySettledFile(Corpus("ps/alphabet.ps"), in("alphabet.ps"));
  CopySettledFile(Corpus("jpg/flower.jpg"), in("flower.jpg"));
  ScanCycle running(settings(), observer, defaultEngineFactory());
  pump.onPause = [&](int pause) {
    if (pause == 2) running.requestStop();
  };
  running.run();

  EXPECT_EQ(observer.failed, (std::vector<std::pair<std::string, std::string>>{}));
  EXPECT_EQ(observer.converted.size(), 2u);
  EXPECT_EQ(PageCount(out("alphabet.pdf")), 1);
  EXPECT_NE(PdfText(out("alphabet.pdf")).find("abcdefghijklmnopqrstuvwxyz"), std::string::npos);
  EXPECT_EQ(PageCount(out("flower.pdf")), 1);
  EXPECT_NE(ReadBytes(out("flower.pdf")).find(ReadBytes(Corpus("jpg/flower.jpg"))), std::string::npos);
  EXPECT_TRUE(DirectoryEntries(inputDir).empty());

  // The conversions ran in this process: Qt and the PDF library are loaded, widgets not.
  const std::vector<std::string> libraries = loadedLibraries();
  EXPECT_TRUE(anyContains(libraries, "libQt6Core.so"));
  EXPECT_TRUE(anyContains(libraries, "libqpdf.so"));
  EXPECT_FALSE(anyContains(libraries, "libQt6Widgets")) << testing::PrintToString(libraries);
}

TEST_F(WindowlessConversionTest, MessageBoxOfTheCoreIsWrittenToStandardError) {
  MessageBoxes* const recording = Seam<MessageBoxes>::swap(nullptr);  // the core's own realisation
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
  Seam<MessageBoxes>::swap(recording);
  EXPECT_EQ(ReadBytes(captured), "Vellumdock: Unable to process that Type of data.\n");
}

}  // namespace
}  // namespace vd::test
