// vellumdk-setup security, run as a program with its standard input piped (or a
// terminal), checked by what the per-user hive then holds.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "SecurityFixture.h"
#include "outside/securitysettings/DistillerSecuritySettings.h"
#include "platform/HiveStorage.h"
#include "platform/RegistryHive.h"
#include "support/IsolatedEnvironment.h"

extern char** environ;

namespace vd::test {
namespace {

void expectSettings(const std::string& open, const std::string& owner,
                    const std::optional<std::set<std::string>>& permissions, const std::string& context = "") {
  const DistillerSecuritySettings stored = DistillerSecuritySettings::read();
  EXPECT_EQ(stored.openPassword, open) << context;
  EXPECT_EQ(stored.permissionsPassword, owner) << context;
  EXPECT_EQ(stored.permissions, permissions) << context;
}

void expectNowhere(const SetupRun& run, const std::vector<std::string>& secrets) {
  for (const std::string& secret : secrets) {
    EXPECT_EQ(run.out.find(secret), std::string::npos) << secret << " printed:\n" << run.out;
    EXPECT_EQ(run.errors.find(secret), std::string::npos) << secret << " printed:\n" << run.errors;
  }
}

using SecurityCommandTest = IsolatedTest;

TEST_F(SecurityCommandTest, SetsShowsAndClearsWithoutEverPrintingAPassword) {
  SetupRun run = RunSetupWithInput(
      {"security", "--open-password", "--permissions-password", "--permissions", "print,COPY"}, "open one\nowner two\n");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_NE(run.out.find("Open password: set\nPermissions password: set\nPermissions: print,copy\n"), std::string::npos)
      << run.out;
  expectNowhere(run, {"open one", "owner two"});
  expectSettings("open one", "owner two", std::set<std::string>{"print", "copy"});

  // Passwords are taken in the order of their options; what is not given is kept.
  run = RunSetupWithInput({"security", "--permissions-password", "--open-password"}, "first line\r\nsecond line\n");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  expectSettings("second line", "first line", std::set<std::string>{"print", "copy"});

  run = RunSetupWithInput({"security", "--permissions="});
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  expectSettings("second line", "first line", std::set<std::string>{});

  run = RunSetupWithInput({"security", "--show"}, "second line\n");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  EXPECT_EQ(run.out, "Open password: set\nPermissions password: set\nPermissions: none\n");
  expectNowhere(run, {"first line", "second line"});

  run = RunSetupWithInput({"security", "--clear"});
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  expectSettings("", "", std::nullopt);
  run = RunSetupWithInput({"security", "--show"});
  EXPECT_EQ(run.out,
            "Open password: not set (anyone may open the PDF)\n"
            "Permissions password: not set (each PDF gets a random one nobody knows)\n"
            "Permissions: print,copy,accessibility (the default)\n");
}

TEST_F(SecurityCommandTest, RefusedInputChangesNothingAndNamesNoPassword) {
  struct Case {
    std::vector<std::string> arguments;
    std::string input;
    std::string error;
  };
  const std::vector<Case> cases{
      {{"--permissions", "print,prnt"}, "", "unknown permission \"prnt\""},
      {{"--open-password", "--permissions", "print;everything"}, "new open\n", "unknown permission \"everything\""},
      {{"--open-password"}, "\n", "the open password is empty"},
      {{"--open-password"}, "", "no open password on standard input"},
      {{"--open-password", "--permissions-password"}, "new open\n", "no permissions password on standard input"},
      {{"--open-password", "--permissions-password"}, "same twice\nsame twice\n", "must differ"},
      {{"--permissions-password"}, "kept open\n", "must differ"},
      {{"--open-password"}, std::string("nul\0inside\n", 11), "holds a NUL byte"},
      {{"--open-password"}, std::string(1025, 'x') + "\n", "longer than 1024 bytes"},
      {{"--open-password=inline secret"}, "", "--open-password takes no value"},
      {{"--open-password", "stray secret"}, "new open\n", "unknown option an argument that is no option"},
      {{"--bogus=stray secret"}, "", "unknown option \"--bogus\""},
      {{"--open-password", "--open-password"}, "a\nb\n", "--open-password is given twice"},
      {{"--permissions"}, "", "--permissions needs a list of words"},
      {{"--show", "--clear"}, "", "one at a time"},
      {{"--clear", "--permissions", "print"}, "", "one at a time"},
      {{}, "", "nothing to do"},
  };
  SetupRun run = RunSetupWithInput({"security", "--open-password", "--permissions-password", "--permissions", "modify"},
                                   "kept open\nkept owner\n");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  for (const Case& refused : cases) {
    std::vector<std::string> arguments{"security"};
    arguments.insert(arguments.end(), refused.arguments.begin(), refused.arguments.end());
    const std::string context = refused.error;
    run = RunSetupWithInput(arguments, refused.input);
    EXPECT_EQ(run.exitCode, 2) << context;
    EXPECT_EQ(run.errors.rfind("vellumdk-setup security: ", 0), 0u) << run.errors;
    EXPECT_NE(run.errors.find(refused.error), std::string::npos) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_EQ(run.out, "") << context;
    expectNowhere(run, {"kept open", "kept owner", "new open", "same twice", "secret", "inside"});
    expectSettings("kept open", "kept owner", std::set<std::string>{"modify"}, context);
  }
}

TEST_F(SecurityCommandTest, AFailureWhileStoringLeavesTheOldSettings) {
  ASSERT_EQ(RunSetupWithInput({"security", "--open-password", "--permissions-password"}, "old open\nold owner\n").exitCode,
            0);
  {
    // The store refuses the last of the three values, after the passwords were written.
    hive::SqliteFile hive(hiveFileOf(HKEY_CURRENT_USER), hive::SqliteFile::Mode::ReadWrite);
    hive.exec("CREATE TRIGGER refuse BEFORE INSERT ON vals WHEN NEW.name = 'permissions' "
              "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  }
  const SetupRun run = RunSetupWithInput(
      {"security", "--open-password", "--permissions-password", "--permissions", "print"}, "new open\nnew owner\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.errors.find("Cannot store the Distiller's security settings in " + hiveFileOf(HKEY_CURRENT_USER)),
            std::string::npos)
      << run.errors;
  expectNowhere(run, {"old open", "new open", "old owner", "new owner"});
  expectSettings("old open", "old owner", std::nullopt);
}

// The program on a terminal of its own: what it prints and what the terminal echoes.
class TerminalRun {
 public:
  explicit TerminalRun(const std::vector<std::string>& arguments) {
    int terminal = -1;
    if (openpty(&master_, &terminal, nullptr, nullptr, nullptr) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int descriptor : {0, 1, 2}) posix_spawn_file_actions_adddup2(&actions, terminal, descriptor);
    posix_spawn_file_actions_addclose(&actions, master_);
    std::vector<std::string> all{SetupProgramPath()};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(terminal);
  }
  ~TerminalRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;

  // Reads until the screen so far ends with text; false when it does not come.
  bool waitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (screen_.size() < text.size() || screen_.compare(screen_.size() - text.size(), text.size(), text) != 0) {
      if (std::chrono::steady_clock::now() > deadline || !readSome(1000)) return false;
    }
    return true;
  }
  void type(const std::string& text) { EXPECT_EQ(write(master_, text.data(), text.size()), ssize_t(text.size())); }
  // Everything up to the program's end, and its exit code.
  int finish() {
    while (readSome(30000)) {
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& screen() const { return screen_; }

 private:
  bool readSome(int milliseconds) {
    pollfd ready{master_, POLLIN, 0};
    if (poll(&ready, 1, milliseconds) <= 0) return false;
    char buffer[512];
    const ssize_t count = read(master_, buffer, sizeof buffer);
    if (count <= 0) return false;
    screen_.append(buffer, static_cast<std::size_t>(count));
    return true;
  }

  int master_ = -1;
  pid_t pid_ = -1;
  std::string screen_;
};

TEST_F(SecurityCommandTest, TypedAtATerminalThePasswordIsNeverShownAndAskedTwice) {
  {
    TerminalRun run({"security", "--open-password", "--permissions", "print"});
    ASSERT_TRUE(run.waitFor("Open password: ")) << run.screen();
    run.type("typed secret\n");
    ASSERT_TRUE(run.waitFor("Type the open password again: ")) << run.screen();
    run.type("typed secret\n");
    EXPECT_EQ(run.finish(), 0) << run.screen();
    EXPECT_EQ(run.screen().find("typed secret"), std::string::npos) << run.screen();
    EXPECT_NE(run.screen().find("Open password: set"), std::string::npos) << run.screen();
  }
  expectSettings("typed secret", "", std::set<std::string>{"print"});
  {
    TerminalRun run({"security", "--open-password"});
    ASSERT_TRUE(run.waitFor("Open password: "));
    run.type("first try\n");
    ASSERT_TRUE(run.waitFor("again: "));
    run.type("first trx\n");
    EXPECT_EQ(run.finish(), 2);
    EXPECT_NE(run.screen().find("the two entries of the open password differ; nothing was changed"), std::string::npos)
        << run.screen();
    EXPECT_EQ(run.screen().find("first tr"), std::string::npos) << run.screen();
  }
  expectSettings("typed secret", "", std::set<std::string>{"print"});
}

}  // namespace
}  // namespace vd::test
