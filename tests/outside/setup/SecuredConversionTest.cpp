// Conversions with "apply security" protected by what vellumdk-setup stored: the engine's
// CreatePDFfromPS, the Distiller stand-in, real Ghostscript and qpdf; the PDF checked with
// qpdf, and the whole scratch tree and the process table searched for the password.
#include <QProcess>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <thread>

#include "SecurityFixture.h"
#include "engine/CreatePDF.h"
#include "platform/RegistryHive.h"
#include "registry/clsRegistry.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

const std::string kPassword = "Open-Sesame-7301";

void expectAll(const std::string& text, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in:\n" << text;
}

// A PostScript job long enough for the output folder to be looked at while it runs.
std::string writePages(const std::string& path, int pages) {
  WriteBytes(path, "%!PS\n/Helvetica findfont 9 scalefont setfont\n1 1 " + std::to_string(pages) +
                       " { /page exch def 0 1 70 { 10 mul 40 exch 750 exch sub moveto (Page ) show page 8 string cvs "
                       "show ( of the protected report) show } for showpage } for\n");
  return path;
}

// The temporary folder of the whole test program, searched like the scratch tree. One for
// all tests: the warm interpreter worker keeps the folder it was started with.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = "/tmp/vellumdock-security-tmp-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const std::string& temporaryFolder() {
  static const TemporaryFolder folder;
  return folder.path();
}

class SecuredConversionTest : public IsolatedTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temporaryFolder().empty());
    environment.set("TMPDIR", temporaryFolder());
    runSetup(environment);
    engine.emplace();
  }
  void convert(const std::string& pdf, const std::string& ps) {
    DistillingOptions options;
    options.blnApplySecurity = true;
    engine->CreatePDFfromPS(pdf, ps, options);
  }
  void storeSettings(const std::vector<std::string>& options, const std::string& input) {
    std::vector<std::string> arguments{"security"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const SetupRun run = RunSetupWithInput(arguments, input);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
  }
  std::string hive() const { return environment.path("data/Vellumdock/registry.sqlite"); }

  std::optional<CreatePDF> engine;
};

TEST_F(SecuredConversionTest, OpenPasswordAndPrintOnlyFromTheCommandProtectThePdf) {
  {
    // No process shows a password it holds, not even the command waiting for the next one.
    QProcess command;
    command.start(QString::fromStdString(SetupProgramPath()),
                  {"security", "--open-password", "--permissions-password", "--permissions", "print"});
    ASSERT_TRUE(command.waitForStarted());
    command.write((kPassword + "\n").c_str());
    command.waitForBytesWritten();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(ProcessesHolding(kPassword), std::vector<std::string>{});
    command.write("Owner-Key-8842\n");
    command.closeWriteChannel();
    ASSERT_TRUE(command.waitForFinished());
    ASSERT_EQ(command.exitCode(), 0) << command.readAllStandardError().toStdString();
  }
  const std::string ps = writePages(scratch("report.ps"), 150);
  const std::string out = scratchFolder("out");
  const std::string pdf = out + "/report.pdf";

  // What another account could find in the output folder while the interpreter works.
  std::set<std::string> seen;
  bool intermediateSeen = false;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    for (const std::string& name : DirectoryEntries(out)) {
      seen.insert(name + (ModeOf(out + "/" + name) == 0600 ? " private" : " open"));
      if (name.rfind(".vellumdock-", 0) == 0) intermediateSeen = true;
    }
  });
  watcher.start(1);
  convert(pdf, ps);
  watcher.stop();
  EXPECT_TRUE(intermediateSeen);
  for (const std::string& entry : seen) {
    EXPECT_TRUE(entry.rfind(".vellumdock-", 0) == 0 && entry.substr(entry.size() - 8) == " private") << entry;
  }
  EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"report.pdf"});

  EXPECT_EQ(ModeOf(hive()), 0600);
  EXPECT_EQ(ModeOf(environment.path("data/Vellumdock")), 0700);
  // The password is in the hive and nowhere else: not in the scratch tree with the
  // program's logs and runtime folders, not in the temporary folder, nor in any process.
  EXPECT_EQ(FilesHolding(environment.path(""), kPassword), std::vector<std::string>{hive()});
  EXPECT_EQ(FilesHolding(environment.path(""), "Owner-Key-8842"), std::vector<std::string>{hive()});
  EXPECT_EQ(FilesHolding(temporaryFolder(), kPassword), std::vector<std::string>{});
  EXPECT_FALSE(ProcessesHolding("vellumdk-gsworker").empty());  // the warm worker is there to be searched
  EXPECT_EQ(ProcessesHolding(kPassword), std::vector<std::string>{});
  EXPECT_EQ(ProcessesHolding("Owner-Key-8842"), std::vector<std::string>{});

  // From here on the checks themselves hand passwords to qpdf.
  EXPECT_EQ(RunProgram("qpdf", {"--show-npages", pdf}), 2);
  EXPECT_EQ(RunProgram("qpdf", {"--password=open-sesame-7301", "--show-npages", pdf}), 2);
  expectAll(ProgramOutput("qpdf", {"--password=" + kPassword, "--show-encryption", pdf}),
            {"R = 6", "Supplied password is user password", "print high resolution: allowed",
             "print low resolution: allowed", "extract for any purpose: not allowed",
             // This encryption always lets accessibility tools extract; readers ignore the bit.
             "extract for accessibility: allowed",
             "modify document assembly: not allowed", "modify forms: not allowed", "modify annotations: not allowed",
             "modify other: not allowed", "file encryption method: AESv3"});
  expectAll(ProgramOutput("qpdf", {"--password=Owner-Key-8842", "--show-encryption", pdf}),
            {"Supplied password is owner password"});
  const std::string opened = scratch("opened.pdf");
  ASSERT_EQ(RunProgram("qpdf", {"--password=" + kPassword, "--decrypt", pdf, opened}), 0);
  EXPECT_EQ(PageCount(opened), 150);
  EXPECT_NE(PdfText(opened).find("Page 150 of the protected report"), std::string::npos);
}

TEST_F(SecuredConversionTest, AFailedSecuredJobLogsNoPasswordAndLeavesNothingBehind) {
  storeSettings({"--open-password", "--permissions", "copy"}, kPassword + "\n");
  const std::string out = scratchFolder("out");
  WriteBytes(scratch("broken.ps"), "%!PS\n72 72 moveto nosuchoperator showpage\n");
  convert(out + "/broken.pdf", scratch("broken.ps"));
  EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"broken.log"});
  EXPECT_NE(ReadBytes(out + "/broken.log").find("nosuchoperator"), std::string::npos) << ReadBytes(out + "/broken.log");
  EXPECT_EQ(FilesHolding(environment.path(""), kPassword), std::vector<std::string>{hive()});
  EXPECT_EQ(FilesHolding(temporaryFolder(), kPassword), std::vector<std::string>{});
}

TEST_F(SecuredConversionTest, SettingsThatCannotBeReadMakeNoPdf) {
  struct Case {
    std::string name;
    std::function<void()> spoil;
    std::string error;
  };
  const std::vector<Case> cases{
      {"damaged", [&] { WriteBytes(hive(), std::string(4096, 'x')); },
       "Cannot read the Distiller's security settings in " + hive() + ": the file is damaged"},
      {"unreadable", [&] { chmod(hive().c_str(), 0); },
       "Cannot read the Distiller's security settings in " + hive() + ": access denied"},
      {"number", [&] {
         clsRegistry registry;
         ASSERT_EQ(registry.OpenRegistry(HKEY_CURRENT_USER, "Software\\Vellumdock\\Distiller\\Security"), -1);
         ASSERT_TRUE(registry.CreateValue("OpenPassword", RegItem{std::int64_t{4711}}, REG_DWORD));
       },
       "The Distiller's security setting OpenPassword in " + hive() + " is not a text value"},
  };
  WriteBytes(scratch("page.ps"), "%!PS\n/Helvetica findfont 20 scalefont setfont 72 700 moveto (Hello) show showpage\n");
  for (const Case& spoiled : cases) {
    std::filesystem::remove_all(environment.path("data/Vellumdock"));
    storeSettings({"--open-password"}, kPassword + "\n");
    spoiled.spoil();
    const std::string out = scratchFolder(spoiled.name);
    convert(out + "/page.pdf", scratch("page.ps"));
    EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"page.log"}) << spoiled.name;
    EXPECT_NE(ReadBytes(out + "/page.log").find(spoiled.error), std::string::npos) << ReadBytes(out + "/page.log");
    chmod(hive().c_str(), 0600);
  }
  // Readable again, the same job is protected.
  std::filesystem::remove_all(environment.path("data/Vellumdock"));
  storeSettings({"--open-password"}, kPassword + "\n");
  convert(scratch("again.pdf"), scratch("page.ps"));
  EXPECT_EQ(RunProgram("qpdf", {"--show-npages", scratch("again.pdf")}), 2);
  EXPECT_EQ(ProgramOutput("qpdf", {"--password=" + kPassword, "--show-npages", scratch("again.pdf")}), "1\n");
}

}  // namespace
}  // namespace vd::test
