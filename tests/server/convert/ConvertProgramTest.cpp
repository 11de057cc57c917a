// The built vellumdk-convert in a scratch world: each kind of input it is given, with the
// documented exit codes, the reason on standard error, the outcome as JSON, and the input
// left where it was.
#include <signal.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "../ProgramFixture.h"
#include "outside/acrobat/PdfWholeness.h"
#include "outside/securitysettings/DistillerSecuritySettings.h"
#include "platform/SettingsStore.h"
#include "support/TextPageRendering.h"

namespace vd::test {
namespace {

class ConvertProgramTest : public ProgramFixture {
 protected:
  ConvertProgramTest() : ProgramFixture("vellumdk-convert") {}
};

TEST_F(ConvertProgramTest, EachKindOfInputEndsWithItsDocumentedCode) {
  CopySettledFile(Corpus("ps/alphabet.ps"), input_ + "/alphabet.ps");
  CopySettledFile(Corpus("jpg/flower.jpg"), input_ + "/-flower 'x'.JPG");
  WriteBytes(input_ + "/broken.ps", "%!PS\nnosuchoperator\nshowpage\n");
  WriteBytes(input_ + "/plan.dwg", "not a drawing");
  ASSERT_TRUE(ensureDirectory(input_ + "/a folder.ps"));

  // Input, exit code, and a text in the one-page PDF made or in standard error for a failure.
  const std::vector<std::tuple<std::string, int, std::string>> cases = {
      {"alphabet.ps", 0, "abcdefghijklmnopqrstuvwxyz"}, {"-flower 'x'.JPG", 0, ""},
      {"broken.ps", 1, "Error: /undefined in nosuchoperator"}, {"plan.dwg", 1, "vellumdk-convert: "},
      {"missing.ps", 3, "missing.ps: No such file or directory"}, {"a folder.ps", 3, "a folder.ps: not a regular file"}};
  for (const auto& [name, exitCode, text] : cases) {
    SCOPED_TRACE(name);
    const std::string input = input_ + "/" + name;
    const std::string pdf = output_ + "/" + name + ".pdf";
    const std::string before = FileExistsOnDisk(input) ? ReadBytes(input) : "";
    std::string output;
    std::string errors;
    EXPECT_EQ(RunProgram(program_, {pdf, input}, &output, &errors), exitCode) << errors;
    EXPECT_EQ(output, "");
    if (exitCode == 0) {
      EXPECT_EQ(errors, "");
      EXPECT_EQ(PageCount(pdf), 1);
      EXPECT_NE(PdfText(pdf).find(text), std::string::npos);
    } else {
      // One line naming what went wrong, no PDF left behind.
      EXPECT_EQ(errors.rfind("vellumdk-convert: ", 0), 0u) << errors;
      EXPECT_NE(errors.find(text), std::string::npos) << errors;
      EXPECT_GT(errors.size(), std::string("vellumdk-convert: \n").size());
      EXPECT_FALSE(FileExistsOnDisk(pdf));
    }
    // The input is never removed or changed.
    EXPECT_TRUE(before.empty() || ReadBytes(input) == before);
  }

  // A shell loop's relative names: the text is printed by helpers that run elsewhere.
  WriteSettledFile(input_ + "/note.txt", "A note from the shell loop\n");
  std::string errors;
  EXPECT_EQ(RunProgram(program_, {"out box/note.pdf", "in box/note.txt"}, nullptr, &errors, {}, 120,
                       environment_.path("home")),
            0)
      << errors;
  EXPECT_NE(PdfText(output_ + "/note.pdf").find("A note from the shell loop"), std::string::npos);
}

TEST_F(ConvertProgramTest, ATextFileWhoseNameHoldsQuotesPrintsItselfAndNoOtherFile) {
  // The text printer's command line quotes the name: a quote inside it used to end the name
  // there, so 'report".txt' printed the file "report" beside it, and succeeded.
  WriteSettledFile(input_ + "/report", "the wrong file\n");
  const std::vector<std::pair<std::string, std::string>> texts = {{"report\".txt", "quoted report"},
                                                                   {"\"report\"", "report in quotes"}};
  for (const auto& [name, text] : texts) {
    SCOPED_TRACE(name);
    WriteSettledFile(input_ + "/" + name, text + "\n");
    const std::string pdf = output_ + "/" + name + ".pdf";
    std::string errors;
    ASSERT_EQ(RunProgram(program_, {pdf, input_ + "/" + name}, nullptr, &errors), 0) << errors;
    const std::string printed = PdfText(pdf);
    EXPECT_NE(printed.find(text), std::string::npos) << printed;
    EXPECT_NE(printed.find(name), std::string::npos) << printed;  // the heading names it whole
    EXPECT_EQ(printed.find("the wrong file"), std::string::npos) << printed;
    EXPECT_EQ(ReadBytes(input_ + "/" + name), text + "\n");
  }
  EXPECT_EQ(ReadBytes(input_ + "/report"), "the wrong file\n");
}

TEST_F(ConvertProgramTest, ItsTextPrinterAndKeystrokeHelpersEndWhenItIsKilled) {
  // A text file of thousands of pages keeps the printer busy for minutes; killed meanwhile,
  // the program used to leave it running, detached, for all that time.
  std::string large;
  for (int row = 1; large.size() < 5'000'000; ++row) large += "row " + std::to_string(row) + std::string(60, '.') + "\n";
  WriteSettledFile(input_ + "/large.txt", large);
  RunningProgram running(program_, {output_ + "/large.pdf", input_ + "/large.txt"}, environment_.path("convert.log"));
  const std::string helpers = std::string(VD_BUILD_HELPER_DIR) + "/";
  ASSERT_TRUE(WaitUntil(running, [&] { return !processes(helpers + "notepad").empty(); }, std::chrono::seconds(60)));
  ASSERT_FALSE(processes(helpers + "tabnudge").empty());
  running.signal(SIGKILL);
  for (const char* helper : {"notepad", "tabnudge"}) expectNoProcessLeft(helpers + helper, 5);
  EXPECT_EQ(ReadBytes(input_ + "/large.txt"), large);
}

TEST_F(ConvertProgramTest, APdfProtectedByAnOpenPasswordIsAConversionNotADamagedFile) {
  // Its pages can't be read without the password; it used to be taken for a damaged PDF,
  // reported as a failure and deleted.
  DistillerSecuritySettings settings;
  settings.openPassword = "open-7301";
  settings.protectPrintJobs = true;
  settings.store();
  WriteBytes(input_ + "/notes.txt", "protected notes\n");
  const std::string pdf = output_ + "/notes.pdf";
  std::string output;
  std::string errors;
  ASSERT_EQ(RunProgram(program_, {"--json", pdf, input_ + "/notes.txt"}, &output, &errors), 0) << errors;
  EXPECT_NE(output.find("\"pages\": 0"), std::string::npos) << output;
  EXPECT_EQ(RunProgram("qpdf", {"--requires-password", pdf}), 0);
  EXPECT_EQ(ProgramOutput("qpdf", {"--password=open-7301", "--show-npages", pdf}), "1\n");

  // A protected PDF cut short is still no conversion.
  const std::string whole = ReadBytes(pdf);
  WriteBytes(pdf, whole.substr(0, whole.size() / 2));
  EXPECT_NE(WhyPdfIsNotWhole(pdf), std::nullopt);
}

TEST_F(ConvertProgramTest, JsonReportsTheOutputItsPagesAndSizeAndUsageErrorsChangeNothing) {
  CopySettledFile(Corpus("tif/g4-multi.tiff"), input_ + "/fax \"3\".tiff");
  const std::string pdf = output_ + "/fax \"3\".pdf";
  std::string output;
  std::string errors;
  ASSERT_EQ(RunProgram(program_, {"--json", pdf, input_ + "/fax \"3\".tiff"}, &output, &errors), 0) << errors;
  QJsonParseError problem{};
  const QJsonObject outcome = QJsonDocument::fromJson(QByteArray::fromStdString(output), &problem).object();
  ASSERT_EQ(problem.error, QJsonParseError::NoError) << output;
  EXPECT_EQ(outcome.value("output").toString().toStdString(), pdf);
  EXPECT_EQ(outcome.value("pages").toInt(), PageCount(pdf));
  EXPECT_EQ(outcome.value("pages").toInt(), 3);
  EXPECT_EQ(static_cast<std::size_t>(outcome.value("bytes").toDouble()), ReadBytes(pdf).size());
  EXPECT_GT(outcome.value("seconds").toDouble(), 0.0);

  const std::string input = input_ + "/alphabet.ps";
  CopySettledFile(Corpus("ps/alphabet.ps"), input);
  expectOutcomes({
      {{input}, 2, "", "expected OUTPUT and INPUT, got 1 names"},
      {{"--bogus", output_ + "/a.pdf", input}, 2, "", "unknown option '--bogus'"},
      // Naming the input as the output would overwrite the only copy.
      {{input, input}, 2, "", "is the input itself"},
  });
  EXPECT_EQ(ReadBytes(input), ReadBytes(Corpus("ps/alphabet.ps")));
  EXPECT_EQ(DirectoryEntries(input_), (std::vector<std::string>{"alphabet.ps", "fax \"3\".tiff"}));
  EXPECT_EQ(DirectoryEntries(output_), std::vector<std::string>{"fax \"3\".pdf"});
}

TEST_F(ConvertProgramTest, StoredTextRecognitionGivesAScanItsWordsUnlessTheCommandLineSaysOtherwise) {
  environment_.set("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR);
  TextPageLayout layout;
  layout.height = 160;
  const TextPages pages = SetTextPages(WordsOf("Searchable scans keep their words where the picture shows them"), 1, layout);
  const std::string scan = RenderTextPages(pages, "jpeggray", environment_.path("home/scan.jpg"));
  settingsStore().write("OCR", "eng");
  // Options, exit code, whether the words are found, and a text of standard error.
  const std::vector<std::tuple<std::vector<std::string>, int, bool, std::string>> cases = {
      {{}, 0, true, ""},
      {{"--ocr", ""}, 0, false, ""},
      {{"--ocr=xyz"}, 0, false, "Page 1 of " + scan + " kept no text: The language data for xyz is not installed"},
      {{"--ocr", "eng;rm -rf"}, 2, false, "--ocr takes language names joined by '+'"},
  };
  for (const auto& [options, exitCode, found, said] : cases) {
    SCOPED_TRACE(testing::PrintToString(options));
    const std::string pdf = output_ + "/scan.pdf";
    std::remove(pdf.c_str());
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(), {pdf, scan});
    std::string errors;
    EXPECT_EQ(RunProgram(program_, arguments, nullptr, &errors), exitCode) << errors;
    EXPECT_NE(errors.find(said), std::string::npos) << errors;
    if (exitCode != 0) continue;
    const std::vector<std::string> words = TokensOf(PdfText(pdf));
    EXPECT_EQ(ShareFound(TokensOf("Searchable scans keep their words where the picture shows them"), words) > 0.9,
              found)
        << PdfText(pdf);
  }
}

}  // namespace
}  // namespace vd::test
