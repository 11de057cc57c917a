// Conversions running side by side: a front end that wants a burst of files to use the
// machine hands the scan cycle a set of lanes, and the cycle gives each lane one file at a
// time. The cycle keeps every decision about names and files to itself (which output name
// a file gets, the PDF set aside under overwrite, failed/, removing the input); a lane only
// converts. The window program gives none and converts one file at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "server/FileConversion.h"

namespace vd {

// One conversion as ConvertFile runs it.
struct LaneJob {
  std::string out;
  std::string in;
  std::string ext;
  bool security = false;
  // Where a script's entries make their temporary PDFs.
  std::string inputDir;
  // Under overwrite, the PDF being replaced and where it is kept aside meanwhile, for a
  // script entry that names it; empty when nothing is replaced.
  std::string replacedPdf;
  std::string replacedPdfAside;
  // Text recognition of scanned pages (ScanSettings).
  std::string ocrLanguages;
  bool ocrRotate = false;
};

struct LaneFinished {
  std::size_t lane = 0;
  // Decided in the lane (ConvertFile), or the lane's own failure.
  ConversionOutcome outcome;
};

class ConversionLanes {
 public:
  virtual ~ConversionLanes() = default;

  // How many conversions may run at once; lanes are numbered from 0.
  virtual std::size_t count() const = 0;
  // Hands the job to a lane that has none; the reason when the lane could not take it.
  virtual std::optional<std::string> start(std::size_t lane, const LaneJob& job) = 0;
  // Waits up to the given milliseconds for a lane to finish its job. Log lines a job
  // reports meanwhile (a script's failed entries) go to onLine with their lane.
  virtual std::optional<LaneFinished> wait(int milliseconds,
                                           const std::function<void(std::size_t, const std::string&)>& onLine) = 0;
  // Ends every lane at once, abandoning what they are doing.
  virtual void abandon() = 0;
};

}  // namespace vd
