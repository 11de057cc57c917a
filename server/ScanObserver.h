// What a scan cycle tells its front end. The window shows it; a front end without a window
// may log it or count it. Every call happens on the cycle's thread, inside the cycle.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vd {

class ScanObserver {
 public:
  virtual ~ScanObserver() = default;

  // The cycle's status line: "Scanning for files in ...", "Processing N files...", with
  // "done." added when a pass is through.
  virtual void statusChanged(const std::string& text) = 0;
  // The files a pass is about to handle, in its order, once per pass as a whole list; an
  // empty list when the pass is over.
  virtual void filesListed(const std::vector<std::string>& names) = 0;
  // The index in the last list of the file being handled now.
  virtual void entryHighlighted(int index) = 0;
  // A line for the log, without a line end.
  virtual void logLine(const std::string& line) = 0;
  // A file was converted into output, a PDF of so many pages as the conversion's check
  // counted them (0 when an open password keeps them from being counted); the input is
  // removed next.
  virtual void fileConverted(const std::string& input, const std::string& output, int pages) = 0;
  // A file's conversion failed for reason; the input is kept in the failed folder.
  virtual void fileFailed(const std::string& input, const std::string& reason) = 0;
  // A pass over the cycle's folder (numbered as the cycle was given them) begins: what is
  // listed and taken up to its passCompleted is that folder's.
  virtual void passStarted(std::size_t /*folder*/) {}
  // A file of the cycle's folder was taken to be converted into output, in the lane given
  // (counted from 0; always 0 one file after the other). Its end is fileConverted or
  // fileFailed, or nothing when it was written to meanwhile and stays for the next pass
  // (which takes it again).
  virtual void fileTaken(std::size_t /*folder*/, std::size_t /*lane*/, const std::string& /*input*/,
                         const std::string& /*output*/) {}
  // A pass over the folder is through: its listing found nothing, or every file it listed
  // has been handed out (in lanes) or converted (one after the other).
  virtual void passCompleted(std::size_t /*folder*/) {}
  // The failed input now lies at keptPath in the failed folder (its name may be numbered
  // there), with its reason beside it (FailureNotePath).
  virtual void failedFileKept(const std::string& /*input*/, const std::string& /*keptPath*/) {}
  // The engine's progress on the document being converted, as it reports it (a PostScript
  // job: percent of its input read, the page being made). Nothing is reported for
  // conversions the engine does not follow.
  virtual void percentDone(int /*percent*/) {}
  virtual void pageReached(int /*page*/) {}
};

}  // namespace vd
