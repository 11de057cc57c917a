#include "outside/office/ExcelStandIn.h"

#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "outside/office/OfficeJobs.h"

namespace vd {
namespace {

using Settings = std::vector<std::pair<std::string, std::string>>;

std::string pointsText(double points) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << points;
  return text.str();
}

// The page setup of one sheet, as the settings of the job that prints it.
class SheetPageSetup : public ExcelPageSetup {
 public:
  void PrintGridlines(bool value) override { set(office::kGridlines, value ? "1" : "0"); }
  void LeftHeader(const std::string& text) override { set("header.left", text); }
  void CenterHeader(const std::string& text) override { set("header.center", text); }
  void RightHeader(const std::string& text) override { set("header.right", text); }
  void LeftFooter(const std::string& text) override { set("footer.left", text); }
  void CenterFooter(const std::string& text) override { set("footer.center", text); }
  void RightFooter(const std::string& text) override { set("footer.right", text); }
  void TopMargin(double points) override { set("margin.top", pointsText(points)); }
  void LeftMargin(double points) override { set("margin.left", pointsText(points)); }
  void RightMargin(double points) override { set("margin.right", pointsText(points)); }
  void BottomMargin(double points) override { set("margin.bottom", pointsText(points)); }
  void HeaderMargin(double points) override { set("margin.header", pointsText(points)); }
  void FooterMargin(double points) override { set("margin.footer", pointsText(points)); }
  void FirstPageNumber(std::int32_t value) override { set(office::kFirstPageNumber, std::to_string(value)); }

  void addTo(Settings& settings) const {
    for (const auto& [key, value] : values_) settings.emplace_back(key, value);
  }

 private:
  void set(const std::string& key, const std::string& value) { values_[key] = value; }
  std::map<std::string, std::string> values_;
};

class Sheet;

class PrintedRange : public ExcelRange {
 public:
  PrintedRange(const Sheet& sheet, std::string address) : sheet_(sheet), address_(std::move(address)) {}
  void PrintOut(const ExcelPrintOutArguments& arguments) override;

 private:
  const Sheet& sheet_;
  std::string address_;
};

class Sheet : public ExcelWorksheet {
 public:
  Sheet(std::shared_ptr<OfficeSuite> suite, const std::string& workbook, Settings identity)
      : suite_(std::move(suite)), workbook_(workbook), identity_(std::move(identity)) {}
  ExcelPageSetup& PageSetup() override { return pageSetup_; }
  std::unique_ptr<ExcelRange> Range(const std::string& Cell1) override {
    return std::make_unique<PrintedRange>(*this, Cell1);
  }

  void print(const std::string& address, const std::string& printFile) const {
    Settings settings = identity_;
    pageSetup_.addTo(settings);
    settings.emplace_back(office::kRange, address);
    suite_->print(office::kExcel, workbook_, printFile, settings);
  }

 private:
  std::shared_ptr<OfficeSuite> suite_;
  const std::string& workbook_;
  Settings identity_;
  SheetPageSetup pageSetup_;
};

void PrintedRange::PrintOut(const ExcelPrintOutArguments& arguments) {
  if (!arguments.PrintToFile) throw std::runtime_error("Only printing to a file is available.");
  sheet_.print(address_, arguments.PrToFilename);
}

class Workbook : public ExcelWorkbook {
 public:
  Workbook(std::shared_ptr<OfficeSuite> suite, std::string path, const std::string& password)
      : suite_(std::move(suite)), path_(std::move(path)) {
    if (!password.empty()) identity_.emplace_back(office::kPassword, password);
  }
  ExcelWorksheet& ActiveSheet() override { return sheet("active", identity_); }
  ExcelWorksheet& Worksheets(const std::variant<std::int32_t, std::string>& Index) override {
    Settings identity = identity_;
    if (const auto* number = std::get_if<std::int32_t>(&Index)) {
      identity.emplace_back(office::kSheetIndex, std::to_string(*number));
      // Appended rather than "#" + to_string(): GCC 12 at -O3 warns falsely (-Wrestrict)
      // about the insert at the front of the temporary.
      std::string key = "#";
      key += std::to_string(*number);
      return sheet(key, identity);
    }
    const std::string& name = std::get<std::string>(Index);
    identity.emplace_back(office::kSheetName, name);
    return sheet("=" + name, identity);
  }
  void Close(bool /*SaveChanges*/) override {}

 private:
  // The same sheet asked for twice is one object, with one page setup.
  ExcelWorksheet& sheet(const std::string& key, const Settings& identity) {
    auto found = sheets_.find(key);
    if (found == sheets_.end()) found = sheets_.emplace(key, std::make_unique<Sheet>(suite_, path_, identity)).first;
    return *found->second;
  }

  std::shared_ptr<OfficeSuite> suite_;
  std::string path_;
  Settings identity_;
  std::map<std::string, std::unique_ptr<Sheet>> sheets_;
};

class Workbooks : public ExcelWorkbooks {
 public:
  explicit Workbooks(std::shared_ptr<OfficeSuite> suite) : suite_(std::move(suite)) {}
  std::unique_ptr<ExcelWorkbook> Open(const std::string& Filename, const std::string& Password,
                                      const std::string& /*WriteResPassword*/) override {
    // Opened read-only: the write-reservation password has nothing to unlock.
    if (!std::ifstream(Filename, std::ios::binary)) throw std::runtime_error("Excel cannot open " + Filename + ".");
    return std::make_unique<Workbook>(suite_, Filename, Password);
  }

 private:
  std::shared_ptr<OfficeSuite> suite_;
};

class Excel : public ExcelApplication {
 public:
  explicit Excel(std::shared_ptr<OfficeSuite> suite) : workbooks_(std::move(suite)) {}
  ExcelWorkbooks& Workbooks() override { return workbooks_; }
  void DisplayAlerts(bool) override {
    // The suite never shows an alert: a question it would ask ends the load instead.
  }
  double InchesToPoints(double inches) override { return inches * 72.0; }
  void Quit() override {}

 private:
  class Workbooks workbooks_;
};

}  // namespace

std::unique_ptr<ExcelApplication> MakeExcelStandIn(std::shared_ptr<OfficeSuite> suite) {
  return std::make_unique<Excel>(std::move(suite));
}

}  // namespace vd
