// The per-user hive that holds the Distiller's passwords, and its folder, are private to
// their owner however they came to exist, and keep no trace of passwords replaced.
#include <sys/stat.h>

#include <filesystem>

#include "SecurityFixture.h"
#include "outside/distiller/DistillerSecurity.h"
#include "platform/HiveStorage.h"
#include "platform/RegistryHive.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string octal(int mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode));
  return text;
}

class PrivateSettingsStorageTest : public IsolatedTest {
 protected:
  std::string folder() const { return environment.path("data/Vellumdock"); }
  std::string hive() const { return folder() + "/registry.sqlite"; }
  void storeOpenPassword(const std::string& password) {
    const SetupRun run = RunSetupWithInput({"security", "--open-password"}, password + "\n");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
  }
};

TEST_F(PrivateSettingsStorageTest, TheCommandCreatesAPrivateFolderHiveAndJournal) {
  // Whatever the umask, nothing of it is opened to others.
  const mode_t previous = umask(0);
  const SetupRun run = RunSetupWithInput({"security", "--open-password"}, "fresh secret\n");
  umask(previous);
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  ASSERT_EQ(hiveFileOf(HKEY_CURRENT_USER), hive());
  EXPECT_EQ(ModeOf(folder()), 0700);
  EXPECT_EQ(ModeOf(hive()), 0600);
  // SQLite's journal exists only while a change is under way.
  hive::SqliteFile file(hive(), hive::SqliteFile::Mode::ReadWrite);
  file.exec("BEGIN IMMEDIATE; INSERT INTO keys(path, name) VALUES('x', 'x')");
  EXPECT_EQ(ModeOf(hive() + "-journal"), 0600);
  file.exec("ROLLBACK");
}

TEST_F(PrivateSettingsStorageTest, EntriesFoundOpenAreMadePrivateWithOneLineEach) {
  struct Case {
    int folderMode;
    int hiveMode;
  };
  for (const Case& opened : {Case{0700, 0644}, Case{0755, 0600}, Case{0755, 0666}, Case{0711, 0640}}) {
    std::filesystem::remove_all(folder());
    const std::string context = octal(opened.folderMode) + "/" + octal(opened.hiveMode);
    storeOpenPassword("kept secret");
    ASSERT_EQ(chmod(hive().c_str(), static_cast<mode_t>(opened.hiveMode)), 0);
    ASSERT_EQ(chmod(folder().c_str(), static_cast<mode_t>(opened.folderMode)), 0);

    SetupRun run = RunSetupWithInput({"security", "--show"});
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    std::vector<std::string> expected;
    if (opened.folderMode != 0700) {
      expected.push_back("vellumdk-setup: " + folder() + " was open to other accounts (mode " +
                         octal(opened.folderMode) + "); it is now private (mode 0700)");
    }
    if (opened.hiveMode != 0600) {
      expected.push_back("vellumdk-setup: " + hive() + " was open to other accounts (mode " +
                         octal(opened.hiveMode) + "); it is now private (mode 0600)");
    }
    EXPECT_EQ(linesOf(run.errors), expected) << context;
    EXPECT_EQ(ModeOf(folder()), 0700) << context;
    EXPECT_EQ(ModeOf(hive()), 0600) << context;
    EXPECT_NE(run.out.find("Open password: set"), std::string::npos) << context;
    // Once private, nothing more is said.
    run = RunSetupWithInput({"security", "--show"});
    EXPECT_EQ(run.errors, "") << context;
  }
}

TEST_F(PrivateSettingsStorageTest, TheDistillerReadingTheSettingsMakesThemPrivateToo) {
  storeOpenPassword("engine secret");
  ASSERT_EQ(chmod(hive().c_str(), 0644), 0);
  ASSERT_EQ(chmod(folder().c_str(), 0755), 0);
  testing::internal::CaptureStderr();
  const DistillerSecurity security = DistillerSecurity::fromRegistry();
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(security.openPassword, "engine secret");
  EXPECT_EQ(ModeOf(hive()), 0600);
  EXPECT_EQ(ModeOf(folder()), 0700);
  EXPECT_EQ(linesOf(said).size(), 2u) << said;
  EXPECT_NE(said.find(hive() + " was open to other accounts (mode 0644)"), std::string::npos) << said;
  EXPECT_EQ(said.find("engine secret"), std::string::npos);
}

TEST_F(PrivateSettingsStorageTest, ReplacedAndClearedPasswordsLeaveNoTraceInTheHive) {
  storeOpenPassword("first-trace-4417-a-longer-one");
  // The search finds what is there.
  EXPECT_EQ(FilesHolding(environment.path(""), "first-trace-4417-a-longer-one"), std::vector<std::string>{hive()});
  storeOpenPassword("second-trace-5528");
  EXPECT_EQ(FilesHolding(environment.path(""), "first-trace-4417-a-longer-one"), std::vector<std::string>{});
  EXPECT_EQ(FilesHolding(environment.path(""), "second-trace-5528"), std::vector<std::string>{hive()});
  ASSERT_EQ(RunSetupWithInput({"security", "--clear"}).exitCode, 0);
  EXPECT_EQ(FilesHolding(environment.path(""), "second-trace-5528"), std::vector<std::string>{});
}

}  // namespace
}  // namespace vd::test
