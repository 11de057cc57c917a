#include "engine/CreatePDF.h"

#include "platform/FileSystem.h"

namespace vd {

CreatePDF::CreatePDF() = default;
CreatePDF::~CreatePDF() = default;

std::string CreatePDF::AcrobatVersion() { return m_AcrobatVersion; }
std::string CreatePDF::PrinterName() { return m_PrinterName; }
std::string CreatePDF::TempFilePath() const { return m_TempFilePath; }
void CreatePDF::TempFilePath(std::string strPath) { m_TempFilePath = std::move(strPath); }

bool CreatePDF::FileExists(const std::string& path) const { return fileSystem().fileLength(path).has_value(); }

void CreatePDF::RaiseMissingInput(const std::string& path) const {
  throw EngineError("File " + path + " does not exist.");
}

void CreatePDF::RaiseEvent(void (CreatePDFEvents::*event)(std::string&, std::string&), std::string a,
                           std::string b) {
  if (events_ != nullptr) (events_->*event)(a, b);
}
void CreatePDF::RaiseLog(std::string message) {
  if (events_ != nullptr) events_->LogMessage(message);
}
void CreatePDF::RaisePercent(std::int32_t percent) {
  if (events_ != nullptr) events_->PercentDone(percent);
}
void CreatePDF::RaisePage(std::int32_t page) {
  if (events_ != nullptr) events_->PageNumber(page);
}

}  // namespace vd
