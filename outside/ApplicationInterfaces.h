// The applications the office and print-dialog converters drive. Each is a slot in the
// engine's StandInFactories; its members come with the converter that calls them (an
// application whose converter has not arrived is only something the engine can create and
// release). Members keep the names the converters call them by.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace vd {

class OutsideApplication {
 public:
  virtual ~OutsideApplication() = default;
};

// Word: the documents collection, a document's page setup, the page numbers of its first
// section's headers and footers, and printing to a file.
class WordPageNumbers {
 public:
  virtual ~WordPageNumbers() = default;
  // PageNumberAlignment: 0 left, 1 centre, 2 right. FirstPage: number the first page too.
  virtual void Add(std::int16_t PageNumberAlignment, bool FirstPage) = 0;
};

class WordHeaderFooter {
 public:
  virtual ~WordHeaderFooter() = default;
  virtual WordPageNumbers& PageNumbers() = 0;
};

class WordSection {
 public:
  virtual ~WordSection() = default;
  // Index 1 is the primary header or footer.
  virtual WordHeaderFooter& Headers(std::int32_t index) = 0;
  virtual WordHeaderFooter& Footers(std::int32_t index) = 0;
};

class WordPageSetup {
 public:
  virtual ~WordPageSetup() = default;
  // 0 portrait, 1 landscape.
  virtual void Orientation(std::int16_t value) = 0;
};

// PrintOut's named arguments; those left empty are not given.
struct WordPrintOutArguments {
  bool Background = true;
  std::optional<std::string> Pages;
  // 4: print the pages listed in Pages.
  std::optional<std::int16_t> Range;
  std::string Outputfilename;
};

class WordDocument {
 public:
  virtual ~WordDocument() = default;
  virtual WordPageSetup& PageSetup() = 0;
  // Index 1 is the first section.
  virtual WordSection& Sections(std::int32_t index) = 0;
  // Writes the print stream of the document to Outputfilename and returns once it is
  // written.
  virtual void PrintOut(const WordPrintOutArguments& arguments) = 0;
  virtual void Close(bool SaveChanges) = 0;
};

class WordDocuments {
 public:
  virtual ~WordDocuments() = default;
  virtual std::unique_ptr<WordDocument> Open(const std::string& FileName, const std::string& PasswordDocument,
                                             const std::string& WritePasswordDocument) = 0;
};

class WordApplication : public OutsideApplication {
 public:
  virtual WordDocuments& Documents() = 0;
  // 0 no alerts, -1 all.
  virtual void DisplayAlerts(std::int16_t value) = 0;
  virtual std::string ActivePrinter() = 0;
  virtual void ActivePrinter(const std::string& printer) = 0;
  virtual void Quit() = 0;
};
// Excel: a workbook's sheets, a sheet's page setup and printing a range of it to a file.
class ExcelPageSetup {
 public:
  virtual ~ExcelPageSetup() = default;
  virtual void PrintGridlines(bool value) = 0;
  virtual void LeftHeader(const std::string& text) = 0;
  virtual void CenterHeader(const std::string& text) = 0;
  virtual void RightHeader(const std::string& text) = 0;
  virtual void LeftFooter(const std::string& text) = 0;
  virtual void CenterFooter(const std::string& text) = 0;
  virtual void RightFooter(const std::string& text) = 0;
  // Margins in points.
  virtual void TopMargin(double points) = 0;
  virtual void LeftMargin(double points) = 0;
  virtual void RightMargin(double points) = 0;
  virtual void BottomMargin(double points) = 0;
  virtual void HeaderMargin(double points) = 0;
  virtual void FooterMargin(double points) = 0;
  virtual void FirstPageNumber(std::int32_t value) = 0;
};

// PrintOut's named arguments.
struct ExcelPrintOutArguments {
  std::int16_t Copies = 1;
  bool Preview = false;
  std::string ActivePrinter;
  bool PrintToFile = false;
  bool Collate = true;
  std::string PrToFilename;
};

class ExcelRange {
 public:
  virtual ~ExcelRange() = default;
  // Writes the range's print stream to PrToFilename.
  virtual void PrintOut(const ExcelPrintOutArguments& arguments) = 0;
};

class ExcelWorksheet {
 public:
  virtual ~ExcelWorksheet() = default;
  virtual ExcelPageSetup& PageSetup() = 0;
  // A range by its address ("A1:C20") or name ("Print_Area").
  virtual std::unique_ptr<ExcelRange> Range(const std::string& Cell1) = 0;
};

class ExcelWorkbook {
 public:
  virtual ~ExcelWorkbook() = default;
  virtual ExcelWorksheet& ActiveSheet() = 0;
  // A sheet by its index (from 1) or its name.
  virtual ExcelWorksheet& Worksheets(const std::variant<std::int32_t, std::string>& Index) = 0;
  virtual void Close(bool SaveChanges) = 0;
};

class ExcelWorkbooks {
 public:
  virtual ~ExcelWorkbooks() = default;
  virtual std::unique_ptr<ExcelWorkbook> Open(const std::string& Filename, const std::string& Password,
                                              const std::string& WriteResPassword) = 0;
};

class ExcelApplication : public OutsideApplication {
 public:
  virtual ExcelWorkbooks& Workbooks() = 0;
  virtual void DisplayAlerts(bool value) = 0;
  virtual double InchesToPoints(double inches) = 0;
  virtual void Quit() = 0;
};
// PowerPoint: a presentation's print options and slide orientation, printing a range of
// slides to a file.
class PowerPointPrintOptions {
 public:
  virtual ~PowerPointPrintOptions() = default;
  // 0 false, -1 true.
  virtual void PrintInBackground(std::int16_t value) = 0;
  // 1 colour.
  virtual void PrintColorType(std::int16_t value) = 0;
  virtual std::string ActivePrinter() = 0;
  virtual void ActivePrinter(const std::string& printer) = 0;
};

class PowerPointPageSetup {
 public:
  virtual ~PowerPointPageSetup() = default;
  // 1 horizontal, 2 vertical.
  virtual void SlideOrientation(std::int16_t value) = 0;
};

class PowerPointPresentation {
 public:
  virtual ~PowerPointPresentation() = default;
  virtual PowerPointPrintOptions& PrintOptions() = 0;
  virtual PowerPointPageSetup& PageSetup() = 0;
  // From and To as given; a value below 1 leaves that end of the slides open. Writes the
  // print stream to PrintToFile and returns once it is written.
  virtual void PrintOut(std::int32_t From, std::int32_t To, const std::string& PrintToFile) = 0;
  virtual void Close() = 0;
};

class PowerPointPresentations {
 public:
  virtual ~PowerPointPresentations() = default;
  virtual std::unique_ptr<PowerPointPresentation> Open(const std::string& FileName) = 0;
};

class PowerPointApplication : public OutsideApplication {
 public:
  // -1 visible; 2 minimised.
  virtual void Visible(std::int16_t value) = 0;
  virtual void WindowState(std::int16_t value) = 0;
  virtual PowerPointPresentations& Presentations() = 0;
  virtual void Quit() = 0;
};

// Publisher: the application's active document, printed whole.
class PublisherDocument {
 public:
  virtual ~PublisherDocument() = default;
  virtual std::string ActivePrinter() = 0;
  virtual void ActivePrinter(const std::string& printer) = 0;
  // The first two positional arguments (the page range) left out: every page.
  virtual void PrintOut(const std::string& PrintToFile) = 0;
  virtual void Close() = 0;
};

class PublisherApplication : public OutsideApplication {
 public:
  virtual void Open(const std::string& FileName) = 0;
  // Throws when no document is open.
  virtual PublisherDocument& ActiveDocument() = 0;
  virtual void Quit() = 0;
};
// Visio: a drawing opened from the documents collection and printed whole on the printer
// set for it.
class VisioDocument {
 public:
  virtual ~VisioDocument() = default;
  // The printer Print prints on; "" is the default printer.
  virtual void Printer(const std::string& printer) = 0;
  // Prints every page and returns once the printer has finished the job.
  virtual void Print() = 0;
  virtual void Close() = 0;
};

class VisioDocuments {
 public:
  virtual ~VisioDocuments() = default;
  virtual std::unique_ptr<VisioDocument> Open(const std::string& FileName) = 0;
};

class VisioApplication : public OutsideApplication {
 public:
  virtual void Visible(bool value) = 0;
  virtual VisioDocuments& Documents() = 0;
  virtual void Quit() = 0;
};

// AutoCAD: a drawing opened read-only, one of its layouts made active and plotted to a
// printer device.
class AutoCADLayout {
 public:
  virtual ~AutoCADLayout() = default;
};

class AutoCADPlot {
 public:
  virtual ~AutoCADPlot() = default;
  virtual void PlotToDevice(const std::string& PlotConfig) = 0;
};

class AutoCADDocument {
 public:
  virtual ~AutoCADDocument() = default;
  // The layout by number or name; nothing when the index was omitted.
  virtual std::unique_ptr<AutoCADLayout> Layouts(const std::optional<std::variant<std::int32_t, std::string>>& Index) = 0;
  virtual void ActiveLayout(const AutoCADLayout& layout) = 0;
  virtual AutoCADPlot& Plot() = 0;
  // SaveChanges left out when nothing is given.
  virtual void Close(std::optional<bool> SaveChanges) = 0;
};

class AutoCADDocuments {
 public:
  virtual ~AutoCADDocuments() = default;
  virtual std::unique_ptr<AutoCADDocument> Open(const std::string& Name, bool ReadOnly) = 0;
};

class AutoCADApplication : public OutsideApplication {
 public:
  virtual AutoCADApplication& Application() = 0;
  virtual AutoCADDocuments& Documents() = 0;
  virtual void Quit() = 0;
};

// Crystal Reports: a report printed on a chosen printer, all pages or a range.
class CrystalReport {
 public:
  virtual ~CrystalReport() = default;
  virtual void SelectPrinter(const std::string& driverName, const std::string& printerName,
                             const std::string& portName) = 0;
  // The page numbers are left out of the call where they are nothing.
  virtual void PrintOut(bool promptUser, std::int16_t numberOfCopy, bool collated,
                        std::optional<std::int32_t> startPageN, std::optional<std::int32_t> stopPageN) = 0;
};

class CrystalReportsApplication : public OutsideApplication {
 public:
  virtual std::unique_ptr<CrystalReport> OpenReport(const std::string& pFileName) = 0;
  virtual bool CanClose() = 0;
};

}  // namespace vd
