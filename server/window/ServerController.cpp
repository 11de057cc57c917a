#include "server/window/ServerController.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "about/AboutText.h"
#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "platform/DocumentOpener.h"
#include "platform/MessageBoxes.h"
#include "platform/PrintSubsystem.h"
#include "platform/SettingsStore.h"
#include "server/AutoStart.h"
#include "server/FailedFiles.h"
#include "server/Options.h"
#include "server/ScanCycle.h"
#include "server/window/DroppedFiles.h"

namespace vd {
namespace {

// Window handlers skip a step that fails and go on with the next, without a message.
void storeSetting(const char* key, const std::string& value) {
  ignoringErrors([&] { settingsStore().write(key, value); });
}

}  // namespace

bool HasDistillerPrinter() {
  const std::vector<std::string> printers = printSubsystem().installedPrinters();
  return std::any_of(printers.begin(), printers.end(), [](const std::string& name) {
    return equalsIgnoreCase(name, "Adobe PDF") || equalsIgnoreCase(name, "Acrobat Distiller");
  });
}

ServerController::ServerController(ServerView& view, std::string argumentText, EngineFactory engineFactory)
    : view_(view),
      argumentText_(std::move(argumentText)),
      engineFactory_(std::move(engineFactory)),
      logFile_(LogFile::defaultPath(), LogFileLimitsFromEnvironment()) {}

void ServerController::startUp() {
  state_.Loading = true;
  view_.setCaption(kProgramTitle);
  ignoringErrors([&] { state_.ProgramDir = programDir(); });
  checkDistillerPrinter();
  std::unique_ptr<CreatePDF> startupEngine;
  ignoringErrors([&] { startupEngine = engineFactory_(); });
  ignoringErrors([&] {
    if (startupEngine) startupEngine->TempFilePath(state_.ProgramDir);
  });
  readSettings();
  view_.setSecondsText(std::to_string(state_.Seconds));
  ignoringErrors([&] {
    state_.WinCaption = settingsStore().read(option::WinCaption, kDefaultWinCaption);
    view_.setWinCaptionText(state_.WinCaption);
  });
  view_.setStatusText(view_.idlePrompt());
  if (!startUpProblem_.empty()) view_.setStatusText(startUpProblem_);
  ignoringErrors([&] { startupEngine.reset(); });
  view_.showActivity(Activity::Idle, "");
  state_.Loading = false;
}

void ServerController::checkDistillerPrinter() {
  bool found = true;
  ignoringErrors([&] { found = HasDistillerPrinter(); });
  if (!found) ignoringErrors([] { messageBoxes().show(kNoDistillerMessage, kProgramTitle, MessageIcon::None); });
}

void ServerController::readSettings() {
  std::vector<UnreadableSetting> unreadable;
  const ScanSettings stored = StoredScanSettings(&unreadable);
  for (const UnreadableSetting& setting : unreadable) {
    const bool interval = setting.key == option::Seconds;
    const bool recognition = setting.key == option::OCR;
    logLine(DescribeUnreadableSetting(setting, interval      ? "0 (no wait between passes)"
                                               : recognition ? "\"\" (no text recognition)"
                                                             : "0 (clear)"));
  }
  // A folder stored relative means the folder the program started in; the converters hand
  // paths to helpers that run elsewhere.
  state_.InputDir = absolutePath(stored.inputDir);
  state_.OutputDir = absolutePath(stored.outputDir);
  state_.Seconds = stored.seconds;
  state_.ocrLanguages = stored.ocrLanguages;
  state_.ocrRotate = stored.ocrRotate;
  view_.setInputDirText(state_.InputDir);
  view_.setOutputDirText(state_.OutputDir);
  std::optional<bool> autoRun;
  ignoringErrors([&] { autoRun = toCheckState(settingsStore().read(option::AutoRun, "0")); });
  const std::pair<OptionBox, bool> boxes[] = {
      {OptionBox::Overwrite, stored.overwrite},
      {OptionBox::AutoRun, autoRun.value_or(false)},
      {OptionBox::Security, stored.security},
  };
  for (const auto& [box, set] : boxes) {
    if (set == view_.optionBoxState(box)) continue;
    // A changed box runs its click handling, as an operator's click would.
    ignoringErrors([&] {
      view_.setOptionBoxState(box, set);
      optionBoxClicked(box);
    });
  }
}

void ServerController::activated() {
  // A cycle already running inside an earlier activation must not be started twice.
  if (argumentText_ != "m" || scanning()) return;
  view_.minimise();
  startClicked();
}

bool ServerController::closeRequested() const { return view_.exitVisible(); }

ScanSettings ServerController::scanSettings() const {
  return ScanSettings{state_.InputDir,
                      state_.OutputDir,
                      state_.Seconds,
                      view_.optionBoxState(OptionBox::Overwrite),
                      view_.optionBoxState(OptionBox::Security),
                      state_.ocrLanguages,
                      state_.ocrRotate};
}

void ServerController::startClicked() {
  if (scanning()) return;
  showScanning();
  std::string refusal;
  {
    running_ = scanSettings();
    ScanCycle cycle(running_, *this, engineFactory_);
    cycle_ = &cycle;
    struct Finished {
      ScanCycle*& cycle;
      ~Finished() { cycle = nullptr; }
    } finished{cycle_};
    if (stopPending_) {
      stopPending_ = false;
      cycle.requestStop();
    }
    if (cycle.run() != ScanCycle::End::Stopped) refusal = cycle.refusal();
  }
  showStopped();
  // The operator must see why Start did nothing: the status line keeps the reason.
  if (!refusal.empty()) statusChanged(refusal);
}

void ServerController::showScanning() {
  view_.showActivity(Activity::Scanning, state_.InputDir);
  view_.setBusyPointer(true);
  view_.setHelpText("");
  view_.setStartVisible(false);
  view_.setStopVisible(true);
  view_.setExitVisible(false);
  view_.setControlsEnabled(false);
  view_.setCaption(std::string(kProgramTitle) + " is scanning for files...");
}

void ServerController::showStopped() {
  inHand_.reset();
  passFiles_.clear();
  view_.showActivity(Activity::Idle, "");
  view_.hideProgress();
  view_.setStartVisible(true);
  view_.setStopVisible(false);
  view_.setExitVisible(true);
  view_.setStatusText(view_.idlePrompt() + "done.");
  view_.repaintStatus();
  view_.showListEntries({});
  view_.setCaption(kProgramTitle);
  view_.setControlsEnabled(true);
  view_.setBusyPointer(false);
}

void ServerController::stopClicked() {
  if (cycle_ != nullptr) {
    cycle_->requestStop();
  } else {
    stopPending_ = true;
  }
}

void ServerController::clearClicked() { view_.clearLog(); }

void ServerController::optionBoxClicked(OptionBox box) {
  const bool set = view_.optionBoxState(box);
  switch (box) {
    case OptionBox::Overwrite:
      storeSetting(option::Overwrite, checkStateText(set));
      break;
    case OptionBox::AutoRun: {
      std::string problem;
      ignoringErrors([&] { problem = UpdateAutoStartEntry(set); });
      storeSetting(option::AutoRun, checkStateText(set));
      if (!problem.empty()) sayProblem(problem);
      break;
    }
    case OptionBox::Security:
      storeSetting(option::Security, checkStateText(set));
      if (!state_.Loading && set) {
        ignoringErrors([] { messageBoxes().show(kSecurityNotice, kProgramTitle, MessageIcon::Information); });
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
  // The interval box stays editable while scanning: the next wait takes the new value.
  if (cycle_ != nullptr) cycle_->setInterval(state_.Seconds);
}

void ServerController::winCaptionLostFocus() {
  state_.WinCaption = trimSpaces(view_.winCaptionText());
  storeSetting(option::WinCaption, state_.WinCaption);
}

namespace {

// A cancelled picker changes nothing; a chosen folder goes to the box, the state and the
// settings together.
template <class ShowInBox>
void browseFolderInto(ServerView& view, const char* title, std::string& folder, const char* key, ShowInBox show) {
  const std::string path = view.browseForFolder(title, folder);
  if (path.empty()) return;
  (view.*show)(path);
  folder = path;
  storeSetting(key, path);
}

}  // namespace

void ServerController::browseInputClicked() {
  browseFolderInto(view_, "Select Input Directory", state_.InputDir, option::InputDir, &ServerView::setInputDirText);
}

void ServerController::browseOutputClicked() {
  browseFolderInto(view_, "Select Output Directory", state_.OutputDir, option::OutputDir,
                   &ServerView::setOutputDirText);
}

void ServerController::aboutClicked() { view_.showAboutWindow(); }

void ServerController::filesDropped(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    DroppedFile dropped;
    try {
      dropped = CopyDroppedFile(path, state_.InputDir);
    } catch (const std::exception& error) {
      dropped.refusal = error.what();
    }
    // A drop during a conversion is no line about the file in hand.
    if (dropped.refusal.empty()) {
      writeLog(path + " copied to " + dropped.copy, nullptr, false);
    } else {
      writeLog(path + " is not copied into " + state_.InputDir + ": " + dropped.refusal + ".", nullptr, true);
    }
  }
}

void ServerController::helpKeyPressed() {
  ignoringErrors([this] { openOrSayWhyNot(HelpFilePath(state_.ProgramDir)); });
}

void ServerController::statusChanged(const std::string& text) {
  view_.setStatusText(text);
  view_.repaintStatus();
}

void ServerController::filesListed(const std::vector<std::string>& names) {
  passFiles_ = names;
  if (names.empty()) {
    // The pass is through: what is logged now is about no file of it.
    inHand_.reset();
    if (scanning()) view_.showActivity(Activity::Scanning, running_.inputDir);
  }
  view_.showListEntries(names);
}

void ServerController::entryHighlighted(int index) {
  view_.highlightListEntry(index);
  if (index < 0 || static_cast<std::size_t>(index) >= passFiles_.size()) return;
  // The cycle highlights each file before it handles it, the first one also once listed.
  const std::string& name = passFiles_[static_cast<std::size_t>(index)];
  const std::string input = running_.inputDir + "/" + name;
  if (inHand_ && inHand_->input == input) return;
  inHand_ = std::make_shared<LoggedFile>();
  inHand_->input = input;
  view_.showActivity(Activity::Converting, name);
}

void ServerController::logLine(const std::string& line) {
  // The file's "-->" line names the PDF it is converted into.
  const std::string arrow = inHand_ ? inHand_->input + " --> " : std::string();
  if (inHand_ && line.rfind(arrow, 0) == 0) inHand_->output = line.substr(arrow.size());
  log(line, line == kUnableToCreatePdf || line.rfind(kReasonPrefix, 0) == 0);
}

void ServerController::writeLog(const std::string& line, std::shared_ptr<const LoggedFile> file, bool saysFailure) {
  view_.appendLogLine(line, std::move(file), saysFailure);
  ignoringErrors([&] { logFile_.write(line); });
}

void ServerController::sayProblem(const std::string& problem) {
  if (state_.Loading) {
    startUpProblem_ = problem;
  } else {
    statusChanged(problem);
  }
  writeLog(problem, nullptr, true);
}

LoggedFile* ServerController::fileInHand(const std::string& input) {
  return inHand_ && inHand_->input == input ? inHand_.get() : nullptr;
}

void ServerController::fileConverted(const std::string& input, const std::string& output, int /*pages*/) {
  percent_ = page_ = -1;
  view_.hideProgress();
  if (LoggedFile* file = fileInHand(input)) {
    file->outcome = LoggedFile::Outcome::Converted;
    file->output = output;
    view_.logFileChanged(*file);
  }
}

// The cycle has just logged "Unable to create PDF."; the operator also needs to know why.
void ServerController::fileFailed(const std::string& input, const std::string& reason) {
  percent_ = page_ = -1;
  view_.hideProgress();
  LoggedFile* file = fileInHand(input);
  if (file != nullptr) {
    file->outcome = LoggedFile::Outcome::Failed;
    file->reason = reason;
  }
  log(ReasonLine(reason), true);
  if (file != nullptr) {
    view_.logFileChanged(*file);
    view_.announceFailure(*file);
  } else {
    view_.announceFailure(LoggedFile{input, "", LoggedFile::Outcome::Failed, reason, "", ""});
  }
}

void ServerController::failedFileKept(const std::string& input, const std::string& keptPath) {
  if (LoggedFile* file = fileInHand(input)) {
    file->keptPath = keptPath;
    file->notePath = FailureNotePath(keptPath);
  }
}

void ServerController::percentDone(int percent) {
  percent_ = std::clamp(percent, 0, 100);
  view_.showProgress(percent_, page_);
}

void ServerController::pageReached(int page) {
  page_ = page;
  view_.showProgress(percent_, page_);
}

}  // namespace vd
