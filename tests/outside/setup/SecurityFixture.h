// What the tests of the Distiller's security settings share: the built vellumdk-setup run
// with its standard input piped, and searches of the file tree and of the running
// processes for a password.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vd::test {

struct SetupRun {
  int exitCode = -1;
  std::string out;
  std::string errors;
};

std::string SetupProgramPath();
// Runs vellumdk-setup with the arguments (never through a shell), input written to its
// standard input, which is then closed.
SetupRun RunSetupWithInput(const std::vector<std::string>& arguments, const std::string& input = "");
// The permission bits of an entry (-1 when it does not exist).
int ModeOf(const std::string& path);
// Every regular file below folder, links not followed, whose bytes contain text.
std::vector<std::string> FilesHolding(const std::string& folder, const std::string& text);
// The processes whose command line or environment contains text, as "pid: command line",
// among those this user may look into.
std::vector<std::string> ProcessesHolding(const std::string& text);

}  // namespace vd::test
