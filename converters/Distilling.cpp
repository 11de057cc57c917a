#include "converters/EngineObject.h"

#include <cstdlib>
#include <random>

#include "common/EngineError.h"
#include "common/Environment.h"
#include "common/IgnoringErrors.h"
#include "common/Locations.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "outside/AcrobatInterface.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/PrintSession.h"
#include "platform/ProcessLauncher.h"
#include "platform/WindowTable.h"

namespace vd {
namespace {

constexpr std::int32_t kSystemDirectoryFolder = 37;
constexpr int kSettleDelayMilliseconds = 1000;
constexpr double kDocumentWindowSearchSeconds = 15;
// The waits that poll the window table or the file system rest this long between looks,
// so a wait of many seconds does not keep a processor busy.
constexpr int kPollRestMilliseconds = 20;
constexpr const char* kHelperName = "tabnudge";
constexpr const char* kMainWindowClass = "AdobeAcrobat";
constexpr const char* kMissingHelper =
    "Error! Can't find file TABNUDGE.EXE. Please copy this file into the same path as QUILLKIT.DLL or into your "
    "Window's System Directory.";

// How long the file-settle wait waits for a file to appear and settle:
// VELLUMDOCK_SETTLE_TIMEOUT seconds, 600 by default.
double settleBoundSeconds() { return positiveEnvironmentNumber("VELLUMDOCK_SETTLE_TIMEOUT", 600); }

WindowHandle findAcrobatMainWindow() {
  const std::string className = kMainWindowClass;
  if (WindowHandle found = windowTable().findWindow(&className, nullptr)) return found;
  for (const std::string caption : {"adobe acrobat professional", "adobe acrobat standard"}) {
    if (WindowHandle found = windowTable().findWindow(nullptr, &caption)) return found;
  }
  return 0;
}

// Keeps objAdobeDistiller set exactly while the eventful Distiller's job runs.
class DistillerFieldScope {
 public:
  DistillerFieldScope(DistillerObject*& field, DistillerObject* value) : field_(field) { field_ = value; }
  ~DistillerFieldScope() { field_ = nullptr; }
  DistillerFieldScope(const DistillerFieldScope&) = delete;
  DistillerFieldScope& operator=(const DistillerFieldScope&) = delete;

 private:
  DistillerObject*& field_;
};

}  // namespace

void EngineObject::DistillingStep(const std::string& strPSFile, const std::string& strPDFFile,
                                  const std::string& strJobOptionsFile, bool blnShowWindow, bool blnSpoolJobs,
                                  bool blnApplySecurity) {
  if (blnApplySecurity && leadingNumber(m_AcrobatVersion) > 5) {
    const std::unique_ptr<DistillerObject> secure = CreateSecureDistiller();
    secure->bShowWindow = blnShowWindow;
    secure->bSpoolJobs = blnSpoolJobs;
    secure->FileToPDF2(strPSFile, strPDFFile, strJobOptionsFile, true);
    return;
  }

  // The Distiller's events become the engine's events, raised on this thread during the
  // convert call.
  class EventForwarding : public DistillerEvents {
   public:
    explicit EventForwarding(EngineObject& engine) : engine_(engine) {}
    void OnJobStart(std::string& in, std::string& out) override { engine_.RaiseEvent(&CreatePDFEvents::JobStart, in, out); }
    void OnJobDone(std::string& in, std::string& out) override { engine_.RaiseEvent(&CreatePDFEvents::JobDone, in, out); }
    void OnJobFail(std::string& in, std::string& out) override { engine_.RaiseEvent(&CreatePDFEvents::JobFail, in, out); }
    void OnLogMessage(std::string& message) override { engine_.RaiseLog(message); }
    void OnPageNumber(std::int32_t& page) override { engine_.RaisePage(page); }
    void OnPercentDone(std::int32_t& percent) override { engine_.RaisePercent(percent); }

   private:
    EngineObject& engine_;
  };

  const std::unique_ptr<DistillerObject> distiller = CreateDistiller();
  const DistillerFieldScope field(objAdobeDistiller, distiller.get());
  EventForwarding forwarding(*this);
  objAdobeDistiller->Connect(&forwarding);
  objAdobeDistiller->bShowWindow = blnShowWindow;
  objAdobeDistiller->bSpoolJobs = blnSpoolJobs;
  objAdobeDistiller->FileToPDF(strPSFile, strPDFFile, strJobOptionsFile);
  objAdobeDistiller->Connect(nullptr);
}

std::string EngineObject::NewPrintFilePath() {
  const std::string printFile = m_TempFilePath + GetRandomStem() + ".ps";
  if (FileExists(printFile)) fileSystem().deleteFile(printFile);
  return printFile;
}

void EngineObject::DistillPrintFile(const std::string& printFile, const std::string& strPDFFile,
                                    const DistillingOptions& options) {
  if (FileExists(strPDFFile)) fileSystem().deleteFile(strPDFFile);
  DistillingStep(printFile, strPDFFile, options.strJobOptionsFile, options.blnShowWindow, options.blnSpoolJobs,
                 options.blnApplySecurity);
  fileSystem().deleteFile(printFile);
}

void EngineObject::LaunchKeystrokeHelper(const std::string& strPDFFile, const std::string& strSaveWindowCaption,
                                         const std::string* strSecurityWindowCaption) {
  const std::string helper = HelperProgramPath(kHelperName);
  if (!FileExists(helper)) throw EngineError(kMissingHelper);
  // The helpers answer only the dialogs of this job: one left waiting by an earlier job
  // whose printing failed would otherwise save this job's document under that job's name.
  beginPrintSession();
  auto start = [&](const std::string& argumentText) {
    if (!processLauncher().startHidden(helper, argumentText)) {
      throw EngineError("Unable to start " + helper + " " + argumentText);
    }
  };
  start("save pdf file as~" + strSaveWindowCaption + "~" + strPDFFile + "~");
  if (strSecurityWindowCaption != nullptr) start("adobe pdf - security~" + *strSecurityWindowCaption + "~");
}

std::string EngineObject::HelperProgramPath(const std::string& name) {
  std::int32_t folderNumber = kSystemDirectoryFolder;
  const std::string inSystemFolder = GetSpecialFolderPath(folderNumber) + "/" + name;
  return FileExists(inSystemFolder) ? inSystemFolder : programDir() + "/" + name;
}

void EngineObject::FileSettleWait(const std::string& path) { FileSettleWait(path, nullptr); }

void EngineObject::FileSettleWait(const std::string& path,
                                  const std::function<std::optional<std::string>()>& printingEnded) {
  auto hasContent = [&] {
    const auto length = FileExists(path) ? fileSystem().fileLength(path) : std::nullopt;
    return length && *length >= 1;
  };
  const double bound = settleBoundSeconds();
  eventPump().pause(kSettleDelayMilliseconds);
  const double deadline = clock().seconds() + bound;
  for (;;) {
    eventPump().processEvents();
    bool paused = false;
    if (FileExists(path)) {
      const auto length = fileSystem().fileLength(path);
      if (length && *length >= 1) {
        eventPump().pause(kSettleDelayMilliseconds);
        if (fileSystem().fileLength(path) == length) return;
        paused = true;
      }
    }
    // A printer that has ended writes nothing more: looked at once more after it ended.
    if (!paused && printingEnded) {
      if (const auto reason = printingEnded(); reason && !hasContent()) throw EngineError(*reason);
    }
    // The bound holds for a file that keeps changing as much as for one that never comes.
    if (clock().seconds() >= deadline) {
      throw EngineError("The file " + path + " was not completed within " +
                        std::to_string(static_cast<long long>(bound)) + " seconds.");
    }
    if (!paused) eventPump().pause(kPollRestMilliseconds);
  }
}

void EngineObject::CloseDocumentWindow(const std::string& strPDFFile) {
  const std::string name = toLowerAscii(fileNameOf(strPDFFile));
  const auto dot = name.find('.');
  std::string key = "[";
  if (dot != std::string::npos) key.append(name, 0, dot + 1);
  key += "pdf]";
  const double deadline = clock().seconds() + kDocumentWindowSearchSeconds;
  for (;;) {
    eventPump().processEvents();
    if (clock().seconds() >= deadline) return;
    for (const std::string prefix : {"adobe acrobat - ", "adobe acrobat professional - "}) {
      const std::string caption = prefix + key;
      if (WindowHandle window = windowTable().findWindow(nullptr, &caption)) {
        windowTable().sendMessage(window, WM_CLOSE, 0, "0");
        return;
      }
    }
    eventPump().pause(kPollRestMilliseconds);
  }
}

bool EngineObject::CloseAcrobat(bool blnWaitUntilClosed, std::int16_t intTimeout) {
  bool closed = false;
  // Its callers ask only whether the viewer went: a window table that cannot be read
  // answers "no", never an error.
  ignoringErrors([&] {
    WindowHandle window = findAcrobatMainWindow();
    if (window == 0) return;
    const std::int64_t result = windowTable().sendMessage(window, WM_DESTROY, 0, "0");
    if (!blnWaitUntilClosed) {
      closed = result == 0;
      return;
    }
    const double deadline = clock().seconds() + intTimeout;
    const std::string className = kMainWindowClass;
    for (;;) {
      if (window == 0) break;
      eventPump().processEvents();
      window = windowTable().findWindow(&className, nullptr);
      if (clock().seconds() >= deadline) break;
      eventPump().pause(kPollRestMilliseconds);
    }
    closed = window == 0;
  });
  return closed;
}

bool EngineObject::IsAcrobatHidden() {
  bool found = false;
  // As CloseAcrobat: an unreadable window table finds no viewer.
  ignoringErrors([&] { found = findAcrobatMainWindow() != 0; });
  return found;
}

std::string EngineObject::GetRandomStem() {
  std::string stem = "1";
  // Never raises: when the temporary directory cannot be looked at, the last stem drawn
  // is used and the file's creation reports the problem.
  ignoringErrors([&] {
    // Drawn again while the name is taken in the temporary directory, where the caller
    // will create the file (bounded: a directory full of numbers ends the search).
    for (int attempt = 0; attempt < 1000; ++attempt) {
      std::mt19937_64 generator(static_cast<std::uint64_t>(clock().wallNanoseconds()) + static_cast<std::uint64_t>(attempt));
      const double fraction = std::uniform_real_distribution<double>(0.0, 1.0)(generator);
      const auto n = static_cast<std::int64_t>(fraction * 99999999 + 1);
      stem = std::to_string(n);
      const std::string path = m_TempFilePath + stem;
      if (!fileSystem().pathExists(path) && !fileSystem().pathExists(path + ".ps")) break;
    }
  });
  return stem;
}

std::string EngineObject::GetSpecialFolderPath(std::int32_t& folder) {
  std::string path;
  // A folder that cannot be found is "": the caller then looks beside the program.
  ignoringErrors([&] {
    if (folder == kSystemDirectoryFolder) path = helperDir();
  });
  return path;
}

}  // namespace vd
