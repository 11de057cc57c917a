// vellumdk-setup: installs the Distiller printer and registers the components the
// conversion engine detects. Takes no arguments.
#include <iostream>
#include <string>

#include "MachineSetup.h"

int main(int argc, char** argv) {
  if (argc > 1) {
    const std::string argument = argv[1];
    if (argument == "--help" || argument == "-h") {
      std::cout << "Usage: vellumdk-setup\n"
                   "Installs the \"Adobe PDF\" printer and registers the components in the machine-wide\n"
                   "state (VELLUMDOCK_MACHINE_DIR, default /var/lib/vellumdock). Running it again\n"
                   "changes nothing.\n";
      return 0;
    }
    std::cerr << "vellumdk-setup: unexpected argument \"" << argument << "\" (it takes none; see --help)\n";
    return 2;
  }
  return vd::MachineSetup().run(std::cout, std::cerr);
}
