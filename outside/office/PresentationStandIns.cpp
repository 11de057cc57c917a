#include "outside/office/PresentationStandIns.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "outside/office/OfficeJobs.h"
#include "outside/office/TurnedSlidePages.h"

namespace vd {
namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

void requireReadable(const std::string& path, const char* application) {
  if (!std::ifstream(path, std::ios::binary)) throw std::runtime_error(std::string(application) + " cannot open " + path + ".");
}

class PrintOptionsOf : public PowerPointPrintOptions {
 public:
  void PrintInBackground(std::int16_t) override {
    // Printing to a file always ends before PrintOut returns.
  }
  void PrintColorType(std::int16_t) override {
    // The print stream keeps the slides' colours.
  }
  std::string ActivePrinter() override { return printer_; }
  void ActivePrinter(const std::string& printer) override { printer_ = printer; }

 private:
  std::string printer_;
};

// The orientation asked for: the suite prints the slides at their own size, and their pages
// are turned afterwards (TurnedSlidePages.h).
class SlideSetup : public PowerPointPageSetup {
 public:
  void SlideOrientation(std::int16_t value) override {
    if (value != 1 && value != 2) throw std::invalid_argument("The slide orientation must be 1 or 2.");
    orientation_ = value;
  }
  // Turns the pages of a print file that are not in the orientation asked for.
  void apply(const std::string& printFile) const {
    if (orientation_ != 0) TurnSlidePages(printFile, orientation_ == 1);
  }

 private:
  std::int16_t orientation_ = 0;  // 1 wide, 2 tall; 0 for the slides' own
};

class Presentation : public PowerPointPresentation {
 public:
  Presentation(std::shared_ptr<OfficeSuite> suite, std::string path) : suite_(std::move(suite)), path_(std::move(path)) {}
  PowerPointPrintOptions& PrintOptions() override { return options_; }
  PowerPointPageSetup& PageSetup() override { return setup_; }
  void PrintOut(std::int32_t From, std::int32_t To, const std::string& PrintToFile) override {
    const Settings settings = {{office::kFrom, std::to_string(From)}, {office::kTo, std::to_string(To)}};
    suite_->print(office::kPowerPoint, path_, PrintToFile, settings);
    setup_.apply(PrintToFile);
  }
  void Close() override {}

 private:
  std::shared_ptr<OfficeSuite> suite_;
  std::string path_;
  PrintOptionsOf options_;
  SlideSetup setup_;
};

class Presentations : public PowerPointPresentations {
 public:
  explicit Presentations(std::shared_ptr<OfficeSuite> suite) : suite_(std::move(suite)) {}
  std::unique_ptr<PowerPointPresentation> Open(const std::string& FileName) override {
    requireReadable(FileName, "PowerPoint");
    return std::make_unique<Presentation>(suite_, FileName);
  }

 private:
  std::shared_ptr<OfficeSuite> suite_;
};

class PowerPoint : public PowerPointApplication {
 public:
  explicit PowerPoint(std::shared_ptr<OfficeSuite> suite) : presentations_(std::move(suite)) {}
  // The suite has no window to show or minimise.
  void Visible(std::int16_t) override {}
  void WindowState(std::int16_t) override {}
  PowerPointPresentations& Presentations() override { return presentations_; }
  void Quit() override {}

 private:
  class Presentations presentations_;
};

class Publication : public PublisherDocument {
 public:
  Publication(std::shared_ptr<OfficeSuite> suite, std::string path) : suite_(std::move(suite)), path_(std::move(path)) {}
  std::string ActivePrinter() override { return printer_; }
  void ActivePrinter(const std::string& printer) override { printer_ = printer; }
  void PrintOut(const std::string& PrintToFile) override { suite_->print(office::kPublisher, path_, PrintToFile, {}); }
  void Close() override {}

 private:
  std::shared_ptr<OfficeSuite> suite_;
  std::string path_;
  std::string printer_;
};

class Publisher : public PublisherApplication {
 public:
  explicit Publisher(std::shared_ptr<OfficeSuite> suite) : suite_(std::move(suite)) {}
  void Open(const std::string& FileName) override {
    requireReadable(FileName, "Publisher");
    active_ = std::make_unique<Publication>(suite_, FileName);
  }
  PublisherDocument& ActiveDocument() override {
    if (!active_) throw std::runtime_error("Publisher has no active document.");
    return *active_;
  }
  void Quit() override { active_.reset(); }

 private:
  std::shared_ptr<OfficeSuite> suite_;
  std::unique_ptr<Publication> active_;
};

}  // namespace

std::unique_ptr<PowerPointApplication> MakePowerPointStandIn(std::shared_ptr<OfficeSuite> suite) {
  return std::make_unique<PowerPoint>(std::move(suite));
}
std::unique_ptr<PublisherApplication> MakePublisherStandIn(std::shared_ptr<OfficeSuite> suite) {
  return std::make_unique<Publisher>(std::move(suite));
}

}  // namespace vd
