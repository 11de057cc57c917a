// What the engine's tests share: an isolated user (HOME, XDG directories, machine
// directory, helper folder of the build tree), scratch folders, the corpus, and readers
// that check a PDF by its content through the real qpdf and pdftotext programs.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <string>
#include <vector>

namespace vd::test {

std::string corpusFile(const std::string& relative);

// Runs a program (argv, no shell) and returns its standard output; exitCode receives
// its exit status.
std::string runProgram(const std::vector<std::string>& argv, int* exitCode = nullptr);

int pdfPageCount(const std::string& pdf);
std::string pdfText(const std::string& pdf);
std::string readWholeFile(const std::string& path);
void writeWholeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// A test with its own user: every location the program reads or writes points into a
// fresh scratch directory for the length of the test.
class IsolatedEngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // A folder of this test's scratch directory, created on demand.
  std::string scratch(const std::string& name = "work");

 private:
  QTemporaryDir root_;
  std::vector<std::pair<std::string, std::string>> saved_;
};

}  // namespace vd::test
