#include "outside/office/OfficeSuite.h"

#include <stdexcept>

#include "common/Locations.h"
#include "common/Paths.h"
#include "outside/worker/JobFolder.h"
#include "outside/office/OfficeJobs.h"

namespace vd {
namespace {

constexpr const char* kWorkerProgram = "vellumdk-officeworker";
constexpr const char* kPrintStream = "print.pdf";

WorkerKind officeWorkerKind() {
  WorkerLimits limits;
  // The suite maps far more address space than it uses; the bound is for runaways.
  limits.memoryMegabytes = 8192;
  // Its memory grows with every document loaded; a fresh suite now and then keeps it small.
  limits.jobsPerWorker = 200;
  return WorkerKind{kWorkerProgram, "The office suite", limits};
}

// The worker's last log line: a failed job's reason.
class LastLine : public JobListener {
 public:
  void onLine(const std::string& line) override { last = line; }
  std::string last;
};

}  // namespace

OfficeSuite::OfficeSuite() : worker_(officeWorkerKind()) {}

void OfficeSuite::print(const std::string& application, const std::string& document, const std::string& printFile,
                        const std::vector<std::pair<std::string, std::string>>& settings) {
  // The suite opens a copy of the document under its own name (fields and titles may show
  // it) and prints in its own folder: where it is confined it reaches nothing else.
  JobFolder files(worker_);
  const std::string copy = files.placeInput(document, fileNameOf(document));
  std::vector<std::string> job = {office::kPrintJob, application, copy, files.outputPath(kPrintStream)};
  for (const auto& [key, value] : settings) {
    job.push_back(key);
    job.push_back(value);
  }
  LastLine lines;
  const JobOutcome outcome = worker_.run(job, &lines);
  if (outcome.succeeded()) {
    if (files.takeOutput(kPrintStream, printFile)) return;
    throw std::runtime_error("The office suite wrote no print stream for " + document + ".");
  }
  std::string why = outcome.failure.empty() ? lines.last : outcome.failure;
  if (why.empty()) why = "The office suite did not print " + document + ".";
  // The worker names the document by its copy.
  for (std::size_t at = why.find(copy); at != std::string::npos; at = why.find(copy, at + document.size())) {
    why.replace(at, copy.size(), document);
  }
  throw std::runtime_error(why);
}

std::string OfficeWorkerPath() { return helperDir() + "/" + kWorkerProgram; }

}  // namespace vd
