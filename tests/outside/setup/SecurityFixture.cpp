#include "SecurityFixture.h"

#include <sys/stat.h>

#include <QProcess>
#include <algorithm>
#include <filesystem>

#include "support/ContentChecks.h"

namespace vd::test {
namespace {

std::string withoutNuls(std::string text) {
  std::replace(text.begin(), text.end(), '\0', ' ');
  return text;
}

bool isProcessEntry(const std::string& name) { return name.find_first_not_of("0123456789") == std::string::npos; }

}  // namespace

std::string SetupProgramPath() { return std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-setup"; }

SetupRun RunSetupWithInput(const std::vector<std::string>& arguments, const std::string& input) {
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  QProcess process;
  process.start(QString::fromStdString(SetupProgramPath()), list);
  SetupRun run;
  if (!process.waitForStarted(30000)) return run;
  process.write(input.data(), static_cast<qint64>(input.size()));
  process.closeWriteChannel();
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.out = process.readAllStandardOutput().toStdString();
  run.errors = process.readAllStandardError().toStdString();
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  return run;
}

int ModeOf(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return -1;
  return static_cast<int>(info.st_mode & 07777);
}

std::vector<std::string> FilesHolding(const std::string& folder, const std::string& text) {
  std::vector<std::string> found;
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_regular_file(ignored) || it->is_symlink(ignored)) continue;
    if (ReadBytes(it->path().string()).find(text) != std::string::npos) found.push_back(it->path().string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<std::string> ProcessesHolding(const std::string& text) {
  std::vector<std::string> found;
  for (const std::string& pid : DirectoryEntries("/proc")) {
    if (!isProcessEntry(pid)) continue;
    const std::string commandLine = ReadBytes("/proc/" + pid + "/cmdline");
    const std::string environment = ReadBytes("/proc/" + pid + "/environ");
    if (commandLine.find(text) != std::string::npos || environment.find(text) != std::string::npos) {
      found.push_back(pid + ": " + withoutNuls(commandLine));
    }
  }
  return found;
}

}  // namespace vd::test
