// vellumdk-lane: one lane of `vellumdkd --jobs N`. The daemon starts one per lane and hands
// it one file at a time over the worker socket; the lane converts it through the dispatch
// with an engine it keeps warm between files (and with it the engine's own warm workers)
// and says how it went. It never touches the input or any name choice: those stay with the
// daemon, which alone sees every lane. Only a script's own files are its business: the
// entries' temporaries, and the Distiller log of a failed entry, which it keeps in failed/
// (moving there never replaces a file, so the daemon's moves and its cannot collide).
//
// A job is nine texts: the output path, the input path, the listed extension, "1" or "0"
// for "Use security", the input folder (where a script's entries make their temporaries),
// under overwrite the PDF being replaced and where it is kept aside meanwhile (empty when
// none is), the languages of text recognition ("" for none) and "1" or "0" for turning
// recognised pages upright. The lane converts and decides the outcome as everyone does
// (ConvertFile): the job's code is 0 after a report 'V' with the pages and bytes of the PDF
// it checked whole; otherwise 1, after a report 'F' holding the reason. A script's failed
// entries, and pages left without text, are log lines, and each of the script's lines is
// announced by a report 'P', a sign of progress.
#include <QCoreApplication>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/CreatePDF.h"
#include "outside/worker/WorkerMain.h"
#include "server/EngineFactory.h"
#include "server/FailureReason.h"
#include "server/FileConversion.h"
#include "server/ScanCycle.h"
#include "server/lane/LaneReports.h"

namespace {

class Lane {
 public:
  int convert(const std::vector<std::string>& job, vd::worker::JobReporter& reporter) {
    if (job.size() != 9) throw std::invalid_argument("A lane's job is nine texts.");
    // The engine outlives the job: its recognition's notes go to the job in hand.
    reporter_ = &reporter;
    struct Done {
      vd::worker::JobReporter*& reporter;
      ~Done() { reporter = nullptr; }
    } done{reporter_};
    const vd::TextRecognition recognition = vd::RecognitionOf(job[7], job[8] == "1", [this](const std::string& line) {
      if (reporter_ != nullptr) reporter_->line(line);
    });
    // An engine that could not be made is tried again with the next file. One engine serves
    // the files of every folder, each with its own recognition (ConvertFile sets it).
    if (!engine_) {
      try {
        engine_ = vd::defaultEngineFactory()();
      } catch (const std::exception& error) {
        reporter.report(vd::lane::kFailureReport, vd::FailureReason(error));
        return 1;
      }
    }
    // A script in a lane runs to its end: a stop of the daemon waits for the files in hand.
    const vd::ScriptSurroundings script{job[4],
                                        [&reporter] {
                                          reporter.report(vd::lane::kProgressReport, "");
                                          return false;
                                        },
                                        [&reporter](const std::string& why) {
                                          reporter.line(vd::kUnableToCreatePdf);
                                          reporter.line(vd::ReasonLine(why));
                                        },
                                        job[5],
                                        job[6],
                                        recognition};
    const vd::ConversionOutcome outcome =
        vd::ConvertFile(engine_.get(), vd::DispatchCall{job[0], job[1], job[2], job[3] == "1"}, script);
    if (outcome.pdf) {
      reporter.report(vd::lane::kVerifiedReport, vd::lane::verifiedText(*outcome.pdf));
      return 0;
    }
    reporter.report(vd::lane::kFailureReport, outcome.failure.value_or("The conversion failed for an unknown reason."));
    return 1;
  }

 private:
  std::unique_ptr<vd::CreatePDF> engine_;
  // The job in hand's, for the notes of the engine's recognition.
  vd::worker::JobReporter* reporter_ = nullptr;
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
