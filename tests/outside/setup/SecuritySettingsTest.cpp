// vellumdk-setup's security command and what it stores: the Distiller's passwords and permissions
// in a per-user hive private to its owner, never shown, and the conversions protected with them
// (real Ghostscript and qpdf). The scratch tree, temporary folder and processes are searched for them.
#include <sys/stat.h>

#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <optional>

#include "common/PrivateDirectories.h"
#include "engine/CreatePDF.h"
#include "outside/securitysettings/DistillerSecuritySettings.h"
#include "platform/HiveStorage.h"
#include "registry/clsRegistry.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

const std::string kPassword = "Open-Sesame-7301";
const std::string kSetup = std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-setup";

struct SetupRun {
  int exitCode = -1;
  std::string out, errors;
};

SetupRun security(std::vector<std::string> options, const std::string& input = "") {
  options.insert(options.begin(), "security");
  SetupRun run;
  run.exitCode = RunProgram(kSetup, options, &run.out, &run.errors, input);
  return run;
}

// Every regular file below folder, links not followed, whose bytes contain text.
std::vector<std::string> filesHolding(const std::string& folder, const std::string& text) {
  std::vector<std::string> found;
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_regular_file(ignored) && !it->is_symlink(ignored) &&
        ReadBytes(it->path().string()).find(text) != std::string::npos) {
      found.push_back(it->path().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The processes this user may look into whose command line or environment holds text.
std::vector<std::string> processesHolding(const std::string& text) {
  std::vector<std::string> found;
  for (const std::string& pid : DirectoryEntries("/proc")) {
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string commandLine = ReadBytes("/proc/" + pid + "/cmdline");
    if ((commandLine + ReadBytes("/proc/" + pid + "/environ")).find(text) != std::string::npos) {
      std::replace(commandLine.begin(), commandLine.end(), '\0', ' ');
      found.push_back(pid + ": " + commandLine);
    }
  }
  return found;
}

void expectSettings(const std::string& open, const std::string& owner,
                    const std::optional<std::set<std::string>>& permissions, const std::string& context = "") {
  const DistillerSecuritySettings stored = DistillerSecuritySettings::read();
  EXPECT_EQ(std::tie(stored.openPassword, stored.permissionsPassword, stored.permissions),
            std::tie(open, owner, permissions)) << context;
}

void expectNowhere(const SetupRun& run, const std::vector<std::string>& secrets) {
  for (const std::string& secret : secrets) EXPECT_EQ((run.out + run.errors).find(secret), std::string::npos) << secret;
}

class SecurityCommandTest : public IsolatedTest {
 protected:
  std::string folder() const { return environment.path("data/Vellumdock"); }
  std::string hive() const { return folder() + "/registry.sqlite"; }
  void store(const std::vector<std::string>& options, const std::string& input = "") {
    const SetupRun run = security(options, input);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
  }
};

// Replaced and cleared passwords leave no trace in the hive either.
TEST_F(SecurityCommandTest, SetsShowsAndClearsWithoutEverPrintingAPasswordOrLeavingAnOldOne) {
  const std::string open = "first-trace-4417-a-longer-one";
  SetupRun run = security({"--open-password", "--permissions-password", "--permissions", "print,COPY"},
                          open + "\nowner two\n");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.out.find("Open password: set\nPermissions password: set\nPermissions: print,copy\n"), std::string::npos)
      << run.out;
  expectNowhere(run, {open, "owner two"});
  expectSettings(open, "owner two", std::set<std::string>{"print", "copy"});
  EXPECT_EQ(filesHolding(environment.path(""), open), std::vector<std::string>{hive()});

  // Passwords are taken in the order of their options; what is not given is kept.
  store({"--permissions-password", "--open-password"}, "first line\r\nsecond-trace-5528\n");
  store({"--permissions="});
  expectSettings("second-trace-5528", "first line", std::set<std::string>{});
  EXPECT_EQ(filesHolding(environment.path(""), open), std::vector<std::string>{});
  EXPECT_EQ(filesHolding(environment.path(""), "second-trace-5528"), std::vector<std::string>{hive()});
  store({"--print-jobs", "on"});
  run = security({"--show"}, "second-trace-5528\n");
  EXPECT_EQ(run.out, "Open password: set\nPermissions password: set\nPermissions: none\nPrinted jobs: protected (the "
                     "\"Adobe PDF\" printer asks to confirm each job)\n");
  expectNowhere(run, {"first line", "second-trace-5528"});

  store({"--clear"});
  expectSettings("", "", std::nullopt);
  EXPECT_EQ(filesHolding(environment.path(""), "second-trace-5528"), std::vector<std::string>{});
}

TEST_F(SecurityCommandTest, RefusedInputChangesNothingAndNamesNoPassword) {
  const std::vector<std::tuple<std::vector<std::string>, std::string, std::string>> cases{
      {{"--permissions", "print,prnt"}, "", "unknown permission \"prnt\""},
      {{"--open-password"}, "\n", "the open password is empty"},
      {{"--open-password"}, "", "no open password on standard input"},
      {{"--open-password", "--permissions-password"}, "same twice\nsame twice\n", "must differ"},
      {{"--permissions-password"}, "kept open\n", "must differ"},
      {{"--open-password"}, std::string("nul\0inside\n", 11), "holds a NUL byte"},
      {{"--open-password"}, std::string(1025, 'x') + "\n", "longer than 1024 bytes"},
      {{"--open-password=inline secret"}, "", "--open-password takes no value"},
      {{"--open-password", "stray secret"}, "new open\n", "unknown option an argument that is no option"},
      {{"--bogus=stray secret"}, "", "unknown option \"--bogus\""},
      {{}, "", "nothing to do"},
  };
  store({"--open-password", "--permissions-password", "--permissions", "modify"}, "kept open\nkept owner\n");
  for (const auto& [options, input, error] : cases) {
    const SetupRun run = security(options, input);
    EXPECT_EQ(run.exitCode, 2) << error;
    EXPECT_EQ(run.errors.rfind("vellumdk-setup security: ", 0), 0u) << run.errors;
    EXPECT_NE(run.errors.find(error), std::string::npos) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_EQ(run.out, "") << error;
    expectNowhere(run, {"kept open", "kept owner", "new open", "same twice", "secret", "inside"});
    expectSettings("kept open", "kept owner", std::set<std::string>{"modify"}, error);
  }
}

TEST_F(SecurityCommandTest, AFailureWhileStoringLeavesTheOldSettings) {
  store({"--open-password", "--permissions-password"}, "old open\nold owner\n");
  {
    // The store refuses the last of the three values, after the passwords were written.
    hive::SqliteFile file(hive(), hive::SqliteFile::Mode::ReadWrite);
    file.exec("CREATE TRIGGER refuse BEFORE INSERT ON vals WHEN NEW.name = 'permissions' "
              "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  }
  const SetupRun run =
      security({"--open-password", "--permissions-password", "--permissions", "print"}, "new open\nnew owner\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.errors.find("Cannot store the Distiller's security settings in " + hive()), std::string::npos)
      << run.errors;
  expectNowhere(run, {"old open", "new open", "old owner", "new owner"});
  expectSettings("old open", "old owner", std::nullopt);
}

TEST_F(SecurityCommandTest, TheHiveAndItsFolderArePrivateHoweverTheyCameToExist) {
  // Whatever the umask, nothing is opened to others.
  const mode_t previous = umask(0);
  const SetupRun created = security({"--open-password"}, "kept secret\n");
  umask(previous);
  ASSERT_EQ(created.exitCode, 0) << created.errors;
  EXPECT_EQ(FileMode(folder()), 0700);
  EXPECT_EQ(FileMode(hive()), 0600);

  // Found open, each entry is made private with one line saying so, then nothing more.
  ASSERT_EQ(chmod(hive().c_str(), 0666), 0);
  ASSERT_EQ(chmod(folder().c_str(), 0755), 0);
  SetupRun run = security({"--show"});
  EXPECT_EQ(run.errors, "vellumdk-setup: " + folder() +
                            " was open to other accounts (mode 0755); it is now private (mode 0700)\n"
                            "vellumdk-setup: " + hive() +
                            " was open to other accounts (mode 0666); it is now private (mode 0600)\n");
  EXPECT_EQ(FileMode(folder()), 0700);
  EXPECT_EQ(FileMode(hive()), 0600);
  EXPECT_EQ(security({"--show"}).errors, "");
}

// The temporary folder of the whole test program, searched like the scratch tree: one for
// all tests, as the warm interpreter worker keeps the folder it was started with.
const std::string& temporaryFolder() {
  static const TemporaryDirectory folder("vellumdock-security-tmp");
  return folder.path();
}

class SecuredConversionTest : public SecurityCommandTest {
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
  std::optional<CreatePDF> engine;
};

TEST_F(SecuredConversionTest, OpenPasswordAndPrintOnlyFromTheCommandProtectThePdf) {
  store({"--open-password", "--permissions-password", "--permissions", "print"}, kPassword + "\nOwner-Key-8842\n");
  // A job long enough for the output folder to be looked at while it runs.
  const std::string ps = scratch("report.ps");
  WriteBytes(ps, "%!PS\n/Helvetica findfont 9 scalefont setfont\n1 1 150 { /page exch def 0 1 70 { 10 mul 40 exch "
                 "750 exch sub moveto (Page ) show page 8 string cvs show ( of the protected report) show } for "
                 "showpage } for\n");
  const std::string out = scratchFolder("out");
  const std::string pdf = out + "/report.pdf";

  // What another account could find in the output folder while the interpreter works.
  std::set<std::string> seen;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    for (const std::string& name : DirectoryEntries(out)) {
      seen.insert(name + (FileMode(out + "/" + name) == 0600 ? " private" : " open"));
    }
  });
  watcher.start(1);
  convert(pdf, ps);
  watcher.stop();
  EXPECT_FALSE(seen.empty());
  for (const std::string& entry : seen) {
    EXPECT_TRUE(entry.starts_with(".vellumdock-") && entry.ends_with(" private")) << entry;
  }
  EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{"report.pdf"});

  // The passwords are in the hive and nowhere else: not in the scratch tree with the
  // program's logs and runtime folders, not in the temporary folder, nor in any process.
  for (const std::string& secret : {kPassword, std::string("Owner-Key-8842")}) {
    EXPECT_EQ(filesHolding(environment.path(""), secret), std::vector<std::string>{hive()});
    EXPECT_EQ(filesHolding(temporaryFolder(), secret), std::vector<std::string>{});
    EXPECT_EQ(processesHolding(secret), std::vector<std::string>{});
  }
  EXPECT_FALSE(processesHolding("vellumdk-gsworker").empty());  // the warm worker is there to be searched

  // From here on the checks themselves hand passwords to qpdf.
  EXPECT_EQ(RunProgram("qpdf", {"--show-npages", pdf}), 2);
  EXPECT_EQ(RunProgram("qpdf", {"--password=open-sesame-7301", "--show-npages", pdf}), 2);
  ExpectContainsAll(ProgramOutput("qpdf", {"--password=" + kPassword, "--show-encryption", pdf}),
            {"R = 6", "Supplied password is user password", "print high resolution: allowed",
             "extract for any purpose: not allowed",
             // This encryption always lets accessibility tools extract; readers ignore the bit.
             "extract for accessibility: allowed", "modify document assembly: not allowed",
             "modify annotations: not allowed", "modify other: not allowed", "file encryption method: AESv3"});
  ExpectContainsAll(ProgramOutput("qpdf", {"--password=Owner-Key-8842", "--show-encryption", pdf}),
            {"Supplied password is owner password"});
  const std::string opened = scratch("opened.pdf");
  ASSERT_EQ(RunProgram("qpdf", {"--password=" + kPassword, "--decrypt", pdf, opened}), 0);
  EXPECT_EQ(PageCount(opened), 150);
  EXPECT_NE(PdfText(opened).find("Page 150 of the protected report"), std::string::npos);
}

TEST_F(SecuredConversionTest, FailedJobsAndSettingsThatCannotBeReadMakeNoPdfAndLogNoPassword) {
  WriteBytes(scratch("broken.ps"), "%!PS\n72 72 moveto nosuchoperator showpage\n");
  WriteBytes(scratch("page.ps"), "%!PS\n/Helvetica findfont 20 scalefont setfont 72 700 moveto (Hello) show showpage\n");
  const std::vector<std::tuple<std::string, std::string, std::function<void()>, std::string>> cases{
      {"failing job", "broken", [] {}, "nosuchoperator"},
      {"damaged", "page", [&] { WriteBytes(hive(), std::string(4096, 'x')); },
       "Cannot read the Distiller's security settings in " + hive() + ": the file is damaged"},
      {"number", "page",
       [&] {
         clsRegistry registry;
         ASSERT_EQ(registry.OpenRegistry(HKEY_CURRENT_USER, "Software\\Vellumdock\\Distiller\\Security"), -1);
         ASSERT_TRUE(registry.CreateValue("OpenPassword", RegItem{std::int64_t{4711}}, REG_DWORD));
       },
       "The Distiller's security setting OpenPassword in " + hive() + " is not a text value"},
  };
  for (const auto& [name, job, spoil, logged] : cases) {
    std::filesystem::remove_all(folder());
    store({"--open-password", "--permissions", "copy"}, kPassword + "\n");
    spoil();
    const std::string out = scratchFolder(name);
    convert(out + "/" + job + ".pdf", scratch(job + ".ps"));
    EXPECT_EQ(DirectoryEntries(out), std::vector<std::string>{job + ".log"}) << name;
    const std::string log = ReadBytes(out + "/" + job + ".log");
    EXPECT_NE(log.find(logged), std::string::npos) << log;
    for (const std::string& holder : filesHolding(environment.path(""), kPassword)) EXPECT_EQ(holder, hive());
    EXPECT_EQ(filesHolding(temporaryFolder(), kPassword), std::vector<std::string>{});
  }
  // Readable again, the same job is protected, with the permissions stored.
  std::filesystem::remove_all(folder());
  store({"--open-password", "--permissions", "print-low, assemble"}, kPassword + "\n");
  convert(scratch("again.pdf"), scratch("page.ps"));
  EXPECT_EQ(RunProgram("qpdf", {"--show-npages", scratch("again.pdf")}), 2);
  ExpectContainsAll(ProgramOutput("qpdf", {"--password=" + kPassword, "--show-encryption", scratch("again.pdf")}),
            {"print low resolution: allowed", "print high resolution: not allowed",
             "modify document assembly: allowed", "extract for any purpose: not allowed"});
}

}  // namespace
}  // namespace vd::test
