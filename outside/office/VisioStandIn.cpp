#include "outside/office/VisioStandIn.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/Paths.h"
#include "common/PrivateDirectories.h"
#include "outside/office/OfficeJobs.h"
#include "outside/printing/PrintSubmission.h"

namespace vd {
namespace {

using Drivers = std::shared_ptr<const PrinterDriverFactories>;

class Drawing : public VisioDocument {
 public:
  Drawing(std::shared_ptr<OfficeSuite> suite, Drivers drivers, std::string path)
      : suite_(std::move(suite)), drivers_(std::move(drivers)), path_(std::move(path)) {}

  void Printer(const std::string& printer) override { printer_ = printer; }

  void Print() override {
    // The drawing is a user's document: its print stream stays where only this user can
    // read it, and is gone when the job is, printed or not.
    const TemporaryDirectory folder("vellumdock-print");
    if (!folder.ok()) throw PrintError("Visio found no private folder for the print stream of " + path_ + ".");
    const std::string stream = folder.path() + "/drawing.pdf";
    suite_->print(office::kVisio, path_, stream, {});
    SubmitPrintStream(printer_, stream, fileNameOf(path_), *drivers_);
  }

  void Close() override {}

 private:
  std::shared_ptr<OfficeSuite> suite_;
  Drivers drivers_;
  std::string path_;
  std::string printer_;
};

class Documents : public VisioDocuments {
 public:
  Documents(std::shared_ptr<OfficeSuite> suite, Drivers drivers)
      : suite_(std::move(suite)), drivers_(std::move(drivers)) {}
  std::unique_ptr<VisioDocument> Open(const std::string& FileName) override {
    if (!std::ifstream(FileName, std::ios::binary)) throw std::runtime_error("Visio cannot open " + FileName + ".");
    return std::make_unique<Drawing>(suite_, drivers_, FileName);
  }

 private:
  std::shared_ptr<OfficeSuite> suite_;
  Drivers drivers_;
};

class Visio : public VisioApplication {
 public:
  Visio(std::shared_ptr<OfficeSuite> suite, PrinterDriverFactories drivers)
      : documents_(std::move(suite), std::make_shared<const PrinterDriverFactories>(std::move(drivers))) {}
  // The suite shows no window.
  void Visible(bool) override {}
  VisioDocuments& Documents() override { return documents_; }
  void Quit() override {}

 private:
  class Documents documents_;
};

}  // namespace

std::unique_ptr<VisioApplication> MakeVisioStandIn(std::shared_ptr<OfficeSuite> suite,
                                                   PrinterDriverFactories drivers) {
  return std::make_unique<Visio>(std::move(suite), std::move(drivers));
}

}  // namespace vd
