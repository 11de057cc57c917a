// The Distiller stand-in: PostScript, EPS and PDF print streams to PDF through the
// PostScript interpreter (pdfwrite under -dSAFER, in the bounded worker). A job-options
// file is distiller-parameter PostScript (<< ... >> setdistillerparams) run before the
// job; an empty path means the defaults. A failed job leaves no PDF and writes the
// interpreter's messages to "<PDF base name>.log" beside where the PDF would have been.
#pragma once

#include "outside/AcrobatInterface.h"

namespace vd {

class GhostscriptDistiller : public DistillerObject {
 public:
  // The security-capable Distiller has no events; Connect is ignored there.
  explicit GhostscriptDistiller(bool securityCapable) : securityCapable_(securityCapable) {}

  void Connect(DistillerEvents* sink) override;
  // 1 when the PDF was written, 0 when the job failed.
  std::int32_t FileToPDF(const std::string& strInputPostScript, const std::string& strOutputPDF,
                         const std::string& strJobOptions) override;
  std::int32_t FileToPDF2(const std::string& strInputPostScript, const std::string& strOutputPDF,
                          const std::string& strJobOptions, bool bApplySecurity) override;

  // "<folder>/<base name>.log" for a PDF path.
  static std::string LogPathFor(const std::string& pdfPath);
  // What a failed job's log says went wrong: the interpreter's error ("Error: /undefined in
  // foo"), else the job's last message; "" when it says neither.
  static std::string FailureInLog(const std::string& logText);

 private:
  bool securityCapable_;
  DistillerEvents* sink_ = nullptr;
};

}  // namespace vd
