#include "outside/office/WordStandIn.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "outside/office/OfficeJobs.h"

namespace vd {
namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

[[noreturn]] void raiseNoSuchMember() { throw std::runtime_error("The requested member of the collection does not exist."); }

class PageNumbersOf : public WordPageNumbers {
 public:
  PageNumbersOf(Settings& settings, const char* where) : settings_(settings), where_(where) {}
  void Add(std::int16_t PageNumberAlignment, bool FirstPage) override {
    settings_.emplace_back(where_, "1");
    settings_.emplace_back(office::kNumberAlignment, std::to_string(PageNumberAlignment));
    settings_.emplace_back(office::kNumberFirstPage, FirstPage ? "1" : "0");
  }

 private:
  Settings& settings_;
  const char* where_;
};

class HeaderFooter : public WordHeaderFooter {
 public:
  HeaderFooter(Settings& settings, const char* where) : numbers_(settings, where) {}
  WordPageNumbers& PageNumbers() override { return numbers_; }

 private:
  PageNumbersOf numbers_;
};

class FirstSection : public WordSection {
 public:
  explicit FirstSection(Settings& settings)
      : header_(settings, office::kNumbersInHeader), footer_(settings, office::kNumbersInFooter) {}
  WordHeaderFooter& Headers(std::int32_t index) override {
    if (index != 1) raiseNoSuchMember();
    return header_;
  }
  WordHeaderFooter& Footers(std::int32_t index) override {
    if (index != 1) raiseNoSuchMember();
    return footer_;
  }

 private:
  HeaderFooter header_;
  HeaderFooter footer_;
};

class PageSetupOf : public WordPageSetup {
 public:
  explicit PageSetupOf(Settings& settings) : settings_(settings) {}
  void Orientation(std::int16_t value) override {
    if (value != 0 && value != 1) throw std::invalid_argument("The orientation must be 0 or 1.");
    settings_.emplace_back(office::kOrientation, std::to_string(value));
  }

 private:
  Settings& settings_;
};

class Document : public WordDocument {
 public:
  Document(std::shared_ptr<OfficeSuite> suite, std::string path, const std::string& password)
      : suite_(std::move(suite)), path_(std::move(path)), pageSetup_(settings_), section_(settings_) {
    if (!password.empty()) settings_.emplace_back(office::kPassword, password);
  }
  WordPageSetup& PageSetup() override { return pageSetup_; }
  WordSection& Sections(std::int32_t index) override {
    if (index != 1) raiseNoSuchMember();
    return section_;
  }
  void PrintOut(const WordPrintOutArguments& arguments) override {
    if (closed_) throw std::runtime_error("The document " + path_ + " is closed.");
    Settings settings = settings_;
    if (arguments.Range == 4 && arguments.Pages) settings.emplace_back(office::kPages, *arguments.Pages);
    // Printing in the background or not, the print file is written when the call returns.
    suite_->print(office::kWord, path_, arguments.Outputfilename, settings);
  }
  void Close(bool /*SaveChanges*/) override { closed_ = true; }

 private:
  std::shared_ptr<OfficeSuite> suite_;
  std::string path_;
  Settings settings_;
  PageSetupOf pageSetup_;
  FirstSection section_;
  bool closed_ = false;
};

class Documents : public WordDocuments {
 public:
  explicit Documents(std::shared_ptr<OfficeSuite> suite) : suite_(std::move(suite)) {}
  std::unique_ptr<WordDocument> Open(const std::string& FileName, const std::string& PasswordDocument,
                                     const std::string& /*WritePasswordDocument*/) override {
    // Opened read-only: the write password has nothing to unlock.
    if (!std::ifstream(FileName, std::ios::binary)) {
      throw std::runtime_error("Word cannot open " + FileName + ".");
    }
    return std::make_unique<Document>(suite_, FileName, PasswordDocument);
  }

 private:
  std::shared_ptr<OfficeSuite> suite_;
};

class Application : public WordApplication {
 public:
  explicit Application(std::shared_ptr<OfficeSuite> suite) : documents_(std::move(suite)) {}
  WordDocuments& Documents() override { return documents_; }
  void DisplayAlerts(std::int16_t) override {
    // The suite never shows an alert: a question it would ask ends the load instead.
  }
  std::string ActivePrinter() override { return activePrinter_; }
  void ActivePrinter(const std::string& printer) override { activePrinter_ = printer; }
  void Quit() override {}

 private:
  class Documents documents_;
  std::string activePrinter_;
};

}  // namespace

std::unique_ptr<WordApplication> MakeWordStandIn(std::shared_ptr<OfficeSuite> suite) {
  return std::make_unique<Application>(std::move(suite));
}

}  // namespace vd
