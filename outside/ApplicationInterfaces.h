// The applications the office and print-dialog converters drive. Each is a slot in the
// engine's StandInFactories; its members come with the converter that calls them (an
// application whose converter has not arrived is only something the engine can create and
// release). Members keep the names the converters call them by.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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
class ExcelApplication : public OutsideApplication {};
class PowerPointApplication : public OutsideApplication {};
class PublisherApplication : public OutsideApplication {};
class VisioApplication : public OutsideApplication {};
class AutoCADApplication : public OutsideApplication {};
class CrystalReportsApplication : public OutsideApplication {};

}  // namespace vd
