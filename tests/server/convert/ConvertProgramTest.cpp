// The built vellumdk-convert in a scratch world: each kind of input it is given, with the
// documented exit codes, the reason on standard error, the outcome as JSON, and the input
// left where it was.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "common/Locations.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

class ConvertProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(access(program_.c_str(), X_OK), 0) << program_;
    runSetup(environment_);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(ensureDirectory(work_));
  }

  int convert(const std::vector<std::string>& arguments, std::string* output, std::string* errors) {
    return RunProgram(program_, arguments, output, errors);
  }

  IsolatedEnvironment environment_;
  const std::string program_ = std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-convert";
  const std::string work_ = environment_.path("home/work dir");
};

TEST_F(ConvertProgramTest, EachKindOfInputEndsWithItsDocumentedCode) {
  CopySettledFile(Corpus("ps/alphabet.ps"), work_ + "/alphabet.ps");
  CopySettledFile(Corpus("jpg/flower.jpg"), work_ + "/-flower 'x'.JPG");
  CopySettledFile(Corpus("tif/g4-multi.tiff"), work_ + "/fax.tiff");
  WriteBytes(work_ + "/broken.ps", "%!PS\nnosuchoperator\nshowpage\n");
  WriteBytes(work_ + "/truncated.jpg", ReadBytes(Corpus("jpg/flower.jpg")).substr(0, 40));
  WriteBytes(work_ + "/plan.dwg", "not a drawing");
  ASSERT_TRUE(ensureDirectory(work_ + "/a folder.ps"));

  struct Case {
    std::string input;
    int exitCode;
    int pages;             // of the PDF made, for a conversion that succeeds
    std::string text;      // in the PDF made, or in standard error for a failure
  };
  const std::vector<Case> cases = {
      {"alphabet.ps", 0, 1, "abcdefghijklmnopqrstuvwxyz"},
      {"-flower 'x'.JPG", 0, 1, ""},
      {"fax.tiff", 0, 3, ""},
      {"broken.ps", 1, 0, "vellumdk-convert: "},
      {"truncated.jpg", 1, 0, "vellumdk-convert: "},
      {"plan.dwg", 1, 0, "vellumdk-convert: "},
      {"missing.ps", 3, 0, "missing.ps: No such file or directory"},
      {"a folder.ps", 3, 0, "a folder.ps: not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const std::string input = work_ + "/" + c.input;
    const std::string pdf = work_ + "/" + c.input + ".pdf";
    const std::string before = FileExistsOnDisk(input) ? ReadBytes(input) : "";
    std::string output;
    std::string errors;
    EXPECT_EQ(convert({pdf, input}, &output, &errors), c.exitCode) << errors;
    EXPECT_EQ(output, "");
    if (c.exitCode == 0) {
      EXPECT_EQ(errors, "");
      EXPECT_EQ(PageCount(pdf), c.pages);
      EXPECT_NE(PdfText(pdf).find(c.text), std::string::npos);
    } else {
      // One line naming what went wrong, no PDF left behind.
      EXPECT_EQ(errors.rfind("vellumdk-convert: ", 0), 0u) << errors;
      EXPECT_NE(errors.find(c.text), std::string::npos) << errors;
      EXPECT_GT(errors.size(), std::string("vellumdk-convert: \n").size());
      EXPECT_FALSE(FileExistsOnDisk(pdf));
    }
    // The input is never removed or changed.
    if (!before.empty()) {
      EXPECT_EQ(ReadBytes(input), before);
    }
  }
  // The JPEG is carried byte for byte, as in the scan cycle.
  EXPECT_NE(ReadBytes(work_ + "/-flower 'x'.JPG.pdf").find(ReadBytes(Corpus("jpg/flower.jpg"))), std::string::npos);
}

TEST_F(ConvertProgramTest, JsonReportsTheOutputItsPagesAndSize) {
  CopySettledFile(Corpus("tif/g4-multi.tiff"), work_ + "/fax \"3\".tiff");
  const std::string pdf = work_ + "/fax \"3\".pdf";
  std::string output;
  std::string errors;
  ASSERT_EQ(convert({"--json", pdf, work_ + "/fax \"3\".tiff"}, &output, &errors), 0) << errors;
  QJsonParseError problem{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(output), &problem);
  ASSERT_EQ(problem.error, QJsonParseError::NoError) << output;
  const QJsonObject outcome = document.object();
  EXPECT_EQ(outcome.value("output").toString().toStdString(), pdf);
  EXPECT_EQ(outcome.value("pages").toInt(), PageCount(pdf));
  EXPECT_EQ(outcome.value("pages").toInt(), 3);
  EXPECT_EQ(static_cast<std::size_t>(outcome.value("bytes").toDouble()), ReadBytes(pdf).size());
  EXPECT_GT(outcome.value("seconds").toDouble(), 0.0);
}

TEST_F(ConvertProgramTest, UsageErrorsChangeNothing) {
  CopySettledFile(Corpus("ps/alphabet.ps"), work_ + "/alphabet.ps");
  const std::string input = work_ + "/alphabet.ps";
  struct Case {
    std::vector<std::string> arguments;
    int exitCode;
    std::string inOutput;
    std::string inErrors;
  };
  const std::vector<Case> cases = {
      {{}, 2, "", "expected OUTPUT and INPUT, got 0 names"},
      {{input}, 2, "", "expected OUTPUT and INPUT, got 1 names"},
      {{"--bogus", "a.pdf", input}, 2, "", "unknown option '--bogus'"},
      // Naming the input as the output would overwrite the only copy.
      {{input, input}, 2, "", "is the input itself"},
      {{"--help"}, 0, "Exit status: 0", ""},
      {{"--version"}, 0, "vellumdk-convert (Vellumdock) ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    std::string output;
    std::string errors;
    EXPECT_EQ(convert(c.arguments, &output, &errors), c.exitCode) << errors;
    EXPECT_NE(output.find(c.inOutput), std::string::npos) << output;
    EXPECT_NE(errors.find(c.inErrors), std::string::npos) << errors;
  }
  EXPECT_EQ(ReadBytes(input), ReadBytes(Corpus("ps/alphabet.ps")));
  EXPECT_EQ(DirectoryEntries(work_), std::vector<std::string>{"alphabet.ps"});
}

}  // namespace
}  // namespace vd::test
