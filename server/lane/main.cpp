// vellumdk-lane: one lane of `vellumdkd --jobs N`. The daemon starts one per lane and hands
// it one file at a time over the worker socket; the lane converts it through the dispatch
// with an engine it keeps warm between files (and with it the engine's own warm workers)
// and says how it went. It never touches the input or any name choice: those stay with the
// daemon, which alone sees every lane. Only a script's own files are its business: the
// entries' temporaries, and the Distiller log of a failed entry, which it keeps in failed/
// (moving there never replaces a file, so the daemon's moves and its cannot collide).
//
// A job is seven texts: the output path, the input path, the listed extension, "1" or "0"
// for "Use security", the input folder (where a script's entries make their temporaries),
// and under overwrite the PDF being replaced and where it is kept aside meanwhile (empty
// when none is). The job's code is 0 when the dispatch returned without an error; otherwise
// 1, after a report 'F' holding the reason. A script's failed entries are log lines, and
// each of its lines is announced by a report 'P', a sign of progress.
#include <QCoreApplication>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/CreatePDF.h"
#include "outside/worker/WorkerMain.h"
#include "server/Dispatch.h"
#include "server/EngineFactory.h"
#include "server/FailureReason.h"
#include "server/ScanCycle.h"
#include "server/ScriptRun.h"
#include "server/lane/LaneReports.h"

namespace {

class Lane {
 public:
  int convert(const std::vector<std::string>& job, vd::worker::JobReporter& reporter) {
    if (job.size() != 7) throw std::invalid_argument("A lane's job is seven texts.");
    std::string failure;
    try {
      // An engine that could not be made is tried again with the next file.
      if (!engine_) engine_ = vd::defaultEngineFactory()();
      if (!engine_) throw std::runtime_error("The conversion engine could not be created.");
      // A script in a lane runs to its end: a stop of the daemon waits for the files in hand.
      vd::ScriptRunContext scriptContext{*engine_, job[4],
                                         [&reporter] {
                                           reporter.report(vd::lane::kProgressReport, "");
                                           return false;
                                         },
                                         [&reporter](const std::string& why) {
                                           reporter.line(vd::kUnableToCreatePdf);
                                           reporter.line(vd::ReasonLine(why));
                                         },
                                         job[5], job[6]};
      vd::Dispatch(*engine_, vd::DispatchCall{job[0], job[1], job[2], job[3] == "1"}, scriptContext);
      return 0;
    } catch (const std::exception& error) {
      failure = vd::FailureReason(error);
    } catch (...) {
      failure = "The conversion failed for an unknown reason.";
    }
    reporter.report(vd::lane::kFailureReport, failure);
    return 1;
  }

 private:
  std::unique_ptr<vd::CreatePDF> engine_;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  Lane lane;
  return vd::worker::serveJobs(argc, argv, [&lane](const std::vector<std::string>& job,
                                                   vd::worker::JobReporter& reporter) {
    return lane.convert(job, reporter);
  });
}
