#include "server/ServerController.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "common/Locations.h"
#include "common/Text.h"
#include "platform/MessageBoxes.h"
#include "platform/PrintSubsystem.h"
#include "platform/SettingsStore.h"
#include "server/AutoStart.h"
#include "server/Options.h"
#include "server/ScanCycle.h"

namespace vd {
namespace {

// Window handlers skip a step that fails and go on with the next, without a message.
template <class Step>
void skipOnError(Step&& step) {
  try {
    step();
  } catch (...) {
  }
}

void storeSetting(const char* key, const std::string& value) {
  skipOnError([&] { settingsStore().write(key, value); });
}

}  // namespace

EngineFactory defaultEngineFactory() {
  return [] { return std::make_unique<CreatePDF>(); };
}

bool HasDistillerPrinter() {
  const std::vector<std::string> printers = printSubsystem().installedPrinters();
  return std::any_of(printers.begin(), printers.end(), [](const std::string& name) {
    return equalsIgnoreCase(name, "Adobe PDF") || equalsIgnoreCase(name, "Acrobat Distiller");
  });
}

ServerController::ServerController(ServerView& view, std::string argumentText, EngineFactory engineFactory)
    : view_(view), argumentText_(std::move(argumentText)), engineFactory_(std::move(engineFactory)) {}

void ServerController::startUp() {
  state_.Loading = true;
  view_.setCaption(kProgramTitle);
  skipOnError([&] { state_.ProgramDir = programDir(); });
  checkDistillerPrinter();
  std::unique_ptr<CreatePDF> startupEngine;
  skipOnError([&] { startupEngine = engineFactory_(); });
  skipOnError([&] {
    if (startupEngine) startupEngine->TempFilePath(state_.ProgramDir);
  });
  readDirectories();
  view_.setInputDirText(state_.InputDir);
  view_.setOutputDirText(state_.OutputDir);
  readOptionBoxes();
  view_.setSecondsText(std::to_string(state_.Seconds));
  skipOnError([&] {
    state_.WinCaption = settingsStore().read(option::WinCaption, kDefaultWinCaption);
    view_.setWinCaptionText(state_.WinCaption);
  });
  view_.setStatusText(view_.idlePrompt());
  skipOnError([&] { startupEngine.reset(); });
  state_.Loading = false;
}

void ServerController::checkDistillerPrinter() {
  bool found = true;
  skipOnError([&] { found = HasDistillerPrinter(); });
  if (!found) skipOnError([] { messageBoxes().show(kNoDistillerMessage, kProgramTitle, MessageIcon::None); });
}

void ServerController::readDirectories() {
  // The program's own folder is read-only on Linux: the operator's folder is the default.
  skipOnError([&] {
    std::optional<std::string> stored = settingsStore().read(option::InputDir);
    state_.InputDir = stored ? *stored : defaultWorkDir();
  });
  skipOnError([&] {
    std::optional<std::string> stored = settingsStore().read(option::OutputDir);
    state_.OutputDir = stored ? *stored : defaultWorkDir();
  });
  skipOnError([&] {
    if (const std::optional<std::int16_t> seconds = toInt16(settingsStore().read(option::Seconds, "5"))) {
      state_.Seconds = *seconds;
    }
  });
}

void ServerController::readOptionBoxes() {
  const std::pair<OptionBox, std::pair<const char*, const char*>> boxes[] = {
      {OptionBox::Overwrite, {option::Overwrite, "1"}},
      {OptionBox::AutoRun, {option::AutoRun, "0"}},
      {OptionBox::Security, {option::Security, "0"}},
  };
  for (const auto& [box, keyAndDefault] : boxes) {
    skipOnError([&] {
      const std::optional<bool> stored = toCheckState(settingsStore().read(keyAndDefault.first, keyAndDefault.second));
      if (!stored || *stored == view_.optionBoxState(box)) return;
      // A changed box runs its click handling, as an operator's click would.
      view_.setOptionBoxState(box, *stored);
      optionBoxClicked(box);
    });
  }
}

void ServerController::activated() {
  // A cycle already running inside an earlier activation must not be started twice.
  if (argumentText_ != "m" || state_.Scanning) return;
  view_.minimise();
  startClicked();
}

bool ServerController::closeRequested() const { return view_.exitVisible(); }

void ServerController::startClicked() {
  if (state_.Scanning) return;
  ScanCycle cycle(view_, state_, engineFactory_);
  cycle.run();
}

void ServerController::stopClicked() { state_.StopRequested = true; }

void ServerController::clearClicked() { view_.clearLog(); }

void ServerController::optionBoxClicked(OptionBox box) {
  const bool set = view_.optionBoxState(box);
  switch (box) {
    case OptionBox::Overwrite:
      storeSetting(option::Overwrite, checkStateText(set));
      break;
    case OptionBox::AutoRun:
      skipOnError([&] { UpdateAutoStartEntry(set); });
      storeSetting(option::AutoRun, checkStateText(set));
      break;
    case OptionBox::Security:
      storeSetting(option::Security, checkStateText(set));
      if (!state_.Loading && set) {
        skipOnError([] { messageBoxes().show(kSecurityNotice, kProgramTitle, MessageIcon::Information); });
      }
      break;
  }
}

void ServerController::secondsLostFocus() {
  if (const std::optional<std::int16_t> seconds = toInt16(view_.secondsText())) state_.Seconds = *seconds;
  if (state_.Seconds == 0) {
    view_.setSecondsText("5");
    state_.Seconds = 5;
  }
  storeSetting(option::Seconds, std::to_string(state_.Seconds));
}

void ServerController::winCaptionLostFocus() {
  state_.WinCaption = trimSpaces(view_.winCaptionText());
  storeSetting(option::WinCaption, state_.WinCaption);
}

}  // namespace vd
