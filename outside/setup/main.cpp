// vellumdk-setup: installs the Distiller printer and registers the components the
// conversion engine detects; "vellumdk-setup security ..." keeps the Distiller's security
// settings of the user who runs it.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "common/Locations.h"
#include "outside/setup/MachineSetup.h"
#include "outside/setup/PasswordInput.h"
#include "outside/setup/SecurityCommand.h"

int main(int argc, char** argv) {
  vd::makeLocationVariablesAbsolute();
  if (argc > 1 && std::string(argv[1]) == "security") {
    vd::PasswordInput passwords(STDIN_FILENO, std::cerr);
    return vd::SecurityCommand().run(std::vector<std::string>(argv + 2, argv + argc), passwords, std::cout,
                                     std::cerr);
  }
  if (argc > 1) {
    const std::string argument = argv[1];
    if (argument == "--help" || argument == "-h") {
      std::cout << "Usage: vellumdk-setup\n"
                   "Installs the \"Adobe PDF\" printer and registers the components in the machine-wide\n"
                   "state (VELLUMDOCK_MACHINE_DIR, default /var/lib/vellumdock). Running it again\n"
                   "changes nothing.\n"
                   "  --help     show this text and exit\n"
                   "  --version  show the version and exit\n\n"
                << vd::SecurityCommand::usage();
      return 0;
    }
    if (argument == "--version") {
      std::cout << "vellumdk-setup (Vellumdock) " << VD_VERSION << "\n";
      return 0;
    }
    std::cerr << "vellumdk-setup: unexpected argument \"" << argument
              << "\" (it takes none, or the command \"security\"; see --help)\n";
    return 2;
  }
  return vd::MachineSetup().run(std::cout, std::cerr);
}
