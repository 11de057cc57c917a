// The main window's logic without its widgets: start-up, activation, the close request
// and the command handlers. The scan cycle runs inside startClicked() (and inside an
// activation with the argument "m") until it has been stopped.
#pragma once

#include <string>

#include "server/ServerState.h"
#include "server/ServerView.h"

namespace vd {

inline constexpr const char* kIdlePrompt =
    "Click the Start Button to scan for files in input directory ------------->";
inline constexpr const char* kNoDistillerMessage =
    "The Adobe printer driver 'Adobe PDF' or 'Acrobat Distiller' was not found on this machine. Before using "
    "Vellumdock you must install this from the Adobe Acrobat setup disks.";
inline constexpr const char* kSecurityNotice = "Adobe PDF security settings will be applied to the generated PDF file.";

// True when one of the printers is the Distiller printer ("Adobe PDF" or "Acrobat
// Distiller", whole name, any letter case).
bool HasDistillerPrinter();

class ServerController {
 public:
  // argumentText: the program's whole command-line argument text.
  ServerController(ServerView& view, std::string argumentText, EngineFactory engineFactory);

  void startUp();
  void activated();
  // False refuses the close.
  bool closeRequested() const;

  void startClicked();
  void stopClicked();
  void clearClicked();
  void optionBoxClicked(OptionBox box);
  void secondsLostFocus();
  void winCaptionLostFocus();

  const ServerState& state() const { return state_; }

 private:
  void readDirectories();
  void readOptionBoxes();
  void checkDistillerPrinter();

  ServerView& view_;
  std::string argumentText_;
  EngineFactory engineFactory_;
  ServerState state_;
};

}  // namespace vd
