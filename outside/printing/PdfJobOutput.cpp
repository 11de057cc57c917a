#include "outside/printing/PdfJobOutput.h"

#include "common/Paths.h"
#include "outside/distiller/GhostscriptDistiller.h"
#include "platform/FileSystem.h"

namespace vd {

void RequirePdfOutputPath(const std::string& printerName, const std::string& path) {
  auto refuse = [&](const std::string& why) {
    throw PrintError("The printer \"" + printerName + "\" cannot save a PDF as \"" + path + "\": " + why);
  };
  if (path.find('\0') != std::string::npos) refuse("the name holds a NUL character.");
  if (path.empty() || path.front() != '/') refuse("it is not an absolute path.");
  if (path.back() == '/' || fileSystem().isDirectory(path)) refuse("it is a folder.");
  const std::string folder = folderOf(path);
  if (!fileSystem().isDirectory(folder)) refuse("the folder " + folder + " does not exist.");
}

void DistillPrintJob(const PrintJob& job, const std::string& pdfPath, bool applySecurity) {
  GhostscriptDistiller distiller(applySecurity);
  if (distiller.FileToPDF2(job.streamPath, pdfPath, "", applySecurity) != 1) {
    throw PrintError("The printer \"" + job.printerName + "\" could not print " + job.streamPath + "; see " +
                     GhostscriptDistiller::LogPathFor(pdfPath) + ".");
  }
}

}  // namespace vd
