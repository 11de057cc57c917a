#include "converters/EngineObject.h"

#include <unistd.h>

#include <exception>
#include <type_traits>

#include "common/EngineError.h"
#include "common/Environment.h"
#include "common/Errors.h"
#include "common/IgnoringErrors.h"
#include "common/PrivateDirectories.h"
#include "common/Text.h"
#include "converters/ErrorPolicy.h"
#include "platform/FileSystem.h"
#include "registry/clsRegistry.h"

namespace vd {
namespace {

constexpr const char* kVersionKey = "SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion";
constexpr const char* kDistillerVersions[] = {"5.0", "6.0", "7.0", "8.0", "9.0", "10.0"};

// Temporary PostScript files hold the users' documents: they go to a private directory of
// this user, not to a fixed folder every user shares.
std::string privateTemporaryDirectory() {
  const std::string runtime = environmentText("XDG_RUNTIME_DIR");
  const std::string ownName = "vellumdock-" + std::to_string(getuid()) + "-temp";
  const std::string preferred =
      !runtime.empty() && runtime.front() == '/' ? runtime + "/vellumdock-temp" : "/tmp/" + ownName;
  if (makePrivateDirectory(preferred)) return preferred + "/";
  // Someone else holds that name: a fresh directory of our own instead.
  const std::string fresh = makeFreshPrivateDirectory(ownName);
  return (fresh.empty() ? preferred : fresh) + "/";
}

// Creates through slot; an empty slot is an engine error naming the component.
template <class Made, class... Arguments>
std::unique_ptr<Made> CreateStandIn(const StandInFactory<Made, Arguments...>& slot, const std::string& componentName,
                                    std::type_identity_t<Arguments>... arguments) {
  std::unique_ptr<Made> made;
  if (slot) made = slot(arguments...);
  if (!made) throw EngineError(componentName + " is not available.");
  return made;
}

}  // namespace

[[noreturn]] void RaiseAgain() {
  try {
    throw;
  } catch (const EngineError& error) {
    throw EngineError(error.description(), error.number());
  } catch (const std::exception& error) {
    throw EngineError(error.what());
  } catch (...) {
    throw EngineError("Unexpected error.");
  }
}

EngineDetection EngineDetection::FromRegistry() {
  EngineDetection detected;
  clsRegistry registry;
  ignoringErrors([&] {
    registry.OpenRegistry(HKEY_LOCAL_MACHINE, kVersionKey);
    detected.acrobatVersion = registry.GetValue("").asText();
  });
  ignoringErrors([&] {
    if (leadingNumber(detected.acrobatVersion) > 5) detected.printerName = "Adobe PDF";
  });
  for (const char* version : kDistillerVersions) {
    ignoringErrors([&] {
      const std::string key = std::string("SOFTWARE\\Adobe\\Acrobat Distiller\\") + version + "\\PrinterName";
      if (registry.OpenRegistry(HKEY_LOCAL_MACHINE, key) != 0) detected.printerName = registry.GetValue("").asText();
    });
  }
  ignoringErrors([&] { registry.CloseRegistry(); });
  return detected;
}

EngineObject::EngineObject(EngineDetection detected, StandInFactories standIns)
    : m_PrinterName(std::move(detected.printerName)),
      m_AcrobatVersion(std::move(detected.acrobatVersion)),
      standIns_(std::move(standIns)) {
  // Without a private folder the property stays empty, and a converter that needs one
  // reports the file it cannot create there.
  ignoringErrors([&] { m_TempFilePath = privateTemporaryDirectory(); });
}

EngineObject::~EngineObject() = default;

std::unique_ptr<AcroPDDoc> EngineObject::CreateAcroPDDoc() {
  return CreateStandIn(standIns_.pdfDocument, "AcroExch.PDDoc");
}
std::unique_ptr<AcroAVDoc> EngineObject::CreateAcroAVDoc() {
  return CreateStandIn(standIns_.viewerDocument, "AcroExch.AVDoc", recognition_);
}
std::unique_ptr<AcroApp> EngineObject::CreateAcroApp() { return CreateStandIn(standIns_.viewerApp, "AcroExch.App"); }
std::unique_ptr<DistillerObject> EngineObject::CreateDistiller() {
  return CreateStandIn(standIns_.distiller, "Acrobat Distiller");
}
std::unique_ptr<DistillerObject> EngineObject::CreateSecureDistiller() {
  return CreateStandIn(standIns_.secureDistiller, "Acrobat Distiller");
}

std::unique_ptr<WordApplication> EngineObject::CreateWordApplication() {
  return CreateStandIn(standIns_.word, "Word.Application");
}
std::unique_ptr<ExcelApplication> EngineObject::CreateExcelApplication() {
  return CreateStandIn(standIns_.excel, "Excel.Application");
}
std::unique_ptr<PowerPointApplication> EngineObject::CreatePowerPointApplication() {
  return CreateStandIn(standIns_.powerPoint, "Powerpoint.Application");
}
std::unique_ptr<PublisherApplication> EngineObject::CreatePublisherApplication() {
  return CreateStandIn(standIns_.publisher, "Publisher.Application");
}
std::unique_ptr<VisioApplication> EngineObject::CreateVisioApplication() {
  return CreateStandIn(standIns_.visio, "Visio.Application");
}
std::unique_ptr<AutoCADApplication> EngineObject::CreateAutoCADApplication() {
  return CreateStandIn(standIns_.autoCAD, "AutoCAD.Application");
}
std::unique_ptr<CrystalReportsApplication> EngineObject::CreateCrystalReportsApplication() {
  return CreateStandIn(standIns_.crystalReports, "CrystalRuntime.Application");
}

void EngineObject::TempFilePath(std::string strPath) {
  // Writing the property never reports a failure: a directory that cannot be used keeps
  // the previous one.
  ignoringErrors([&] {
    bool usable = false;
    try {
      fileSystem().createDirectory(strPath);
      usable = true;
    } catch (const FileError&) {
      // What an existing directory gives; anything else (a file of that name, a parent
      // that does not exist or cannot be written) keeps the previous directory.
      usable = fileSystem().isDirectory(strPath);
    }
    if (!usable) return;
    if (strPath.back() != '/') strPath += '/';
    m_TempFilePath = std::move(strPath);
  });
}

bool EngineObject::FileExists(const std::string& path) const {
  bool exists = false;
  // Never raises: a path that cannot be looked at (a missing folder, no permission, "")
  // names no file the engine could read.
  ignoringErrors([&] { exists = fileSystem().fileLength(path).has_value(); });
  return exists;
}

void EngineObject::RaiseMissingInput(const std::string& path) const {
  // The existence check also fails for a file this account may not read, or for a folder:
  // the operator must not be sent looking for a file that is there.
  if (fileSystem().stamp(path)) {
    throw EngineError("File " + path + " cannot be read: it is not a file this account may read.");
  }
  throw EngineError("File " + path + " does not exist.");
}

void EngineObject::RaiseEvent(void (CreatePDFEvents::*event)(std::string&, std::string&), std::string a,
                              std::string b) {
  if (events_ != nullptr) (events_->*event)(a, b);
}
void EngineObject::RaiseLog(std::string message) {
  if (events_ != nullptr) events_->LogMessage(message);
}
void EngineObject::RaisePercent(std::int32_t percent) {
  if (events_ != nullptr) events_->PercentDone(percent);
}
void EngineObject::RaisePage(std::int32_t page) {
  if (events_ != nullptr) events_->PageNumber(page);
}

}  // namespace vd
