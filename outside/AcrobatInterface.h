// The outside components the engine drives: the PDF document objects, the viewer and
// the Distiller. The engine knows them only through these interfaces; the stand-ins in
// outside/ realise them; the engine receives them through its StandInFactories.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vd {

class AcroJSObject {
 public:
  virtual ~AcroJSObject() = default;
  // Writes the open document in the format named by conversionId ("com.adobe.acrobat.ps").
  virtual bool SaveAs(const std::string& path, const std::string& conversionId) = 0;
  // A value of the script object's App: "viewerVersion", "viewerType", "viewerVariation",
  // "language", "platform" or "formsVersion", converted to text.
  virtual std::string AppValue(const std::string& name) = 0;
};

class AcroPDDoc {
 public:
  virtual ~AcroPDDoc() = default;
  virtual bool Create() = 0;
  virtual bool Open(const std::string& path) = 0;
  virtual bool Close() = 0;
  virtual std::int32_t GetNumPages() = 0;
  virtual bool InsertPages(std::int32_t nInsertPageAfter, AcroPDDoc& source, std::int32_t nStartPage,
                           std::int32_t nNumPages, std::int32_t bBookmarks) = 0;
  // nType: 1 full save, 5 linearized, 37 linearized with unreferenced objects removed.
  virtual bool Save(std::int16_t nType, const std::string& path) = 0;
  virtual bool SetInfo(const std::string& key, const std::string& text) = 0;
  virtual std::unique_ptr<AcroJSObject> GetJSObject() = 0;
  // Why the last Open, InsertPages or Save returned false ("" when it cannot say): the
  // operator of a full disk needs to read that, not only that saving failed.
  virtual std::string lastError() const { return {}; }
};

class AcroAVDoc {
 public:
  virtual ~AcroAVDoc() = default;
  virtual bool Open(const std::string& path, const std::string& title) = 0;
  virtual bool IsValid() = 0;
  // The document shown; owned by this AVDoc.
  virtual AcroPDDoc* GetPDDoc() = 0;
  virtual bool Close(bool noSave) = 0;
};

class AcroApp {
 public:
  virtual ~AcroApp() = default;
  virtual std::unique_ptr<AcroAVDoc> GetActiveDoc() = 0;
  virtual bool Exit() = 0;
};

// What the eventful Distiller reports while a job runs.
class DistillerEvents {
 public:
  virtual ~DistillerEvents() = default;
  virtual void OnJobStart(std::string& strInputPostScript, std::string& strOutputPDF) = 0;
  virtual void OnJobDone(std::string& strInputPostScript, std::string& strOutputPDF) = 0;
  virtual void OnJobFail(std::string& strInputPostScript, std::string& strOutputPDF) = 0;
  virtual void OnLogMessage(std::string& strMessage) = 0;
  virtual void OnPageNumber(std::int32_t& nPageNumber) = 0;
  virtual void OnPercentDone(std::int32_t& nPercentDone) = 0;
};

class DistillerObject {
 public:
  virtual ~DistillerObject() = default;
  bool bShowWindow = false;
  bool bSpoolJobs = false;
  // Connects the events; nullptr disconnects them. The security-capable Distiller has none.
  virtual void Connect(DistillerEvents* sink) = 0;
  // Returns when the job has ended; a failed job leaves no PDF and its log beside it.
  virtual std::int32_t FileToPDF(const std::string& strInputPostScript, const std::string& strOutputPDF,
                                 const std::string& strJobOptions) = 0;
  virtual std::int32_t FileToPDF2(const std::string& strInputPostScript, const std::string& strOutputPDF,
                                  const std::string& strJobOptions, bool bApplySecurity) = 0;
};

}  // namespace vd
