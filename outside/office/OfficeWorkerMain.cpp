// vellumdk-officeworker: the office suite's job handler on the worker machinery
// (outside/worker/WorkerMain.h). It keeps one headless LibreOffice of its own warm between
// jobs, with a private profile in the worker's temporary folder and a pipe name no other
// worker uses, and drives it through UNO. Started, bounded and ended by the office client
// (outside/office/OfficeSuite.h); never started by hand.
//
// A job (OfficeJobs.h) loads one document hidden, read-only, with its macros never run and
// its links never updated, applies the page settings the stand-in collected, writes the
// suite's print stream (PDF) to the file named and closes the document.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <iterator>
#include <locale>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/drawing/XShapes.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XHeaderFooterContent.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/style/NumberingType.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/task/PasswordRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/PageNumberType.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <rtl/ref.hxx>
#include <rtl/uri.hxx>

#include "outside/office/OfficeJobs.h"
#include "outside/office/RtfPictureFields.h"
#include "outside/worker/Confinement.h"
#include "outside/worker/WorkerMain.h"

namespace {

namespace css = com::sun::star;
using rtl::OUString;
using rtl::OUStringToOString;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using vd::worker::JobReporter;

constexpr const char* kProgramDir = "/usr/lib/libreoffice/program";
// The suite's first start on a new profile creates it and restarts itself; that and a
// start on a busy machine fit in this.
constexpr double kConnectSeconds = 120;

OUString u(const std::string& text) { return OStringToOUString(rtl::OString(text.c_str(), static_cast<sal_Int32>(text.size())), RTL_TEXTENCODING_UTF8); }
std::string utf8(const OUString& text) { return OUStringToOString(text, RTL_TEXTENCODING_UTF8).getStr(); }

css::beans::PropertyValue property(const char* name, Any value) {
  css::beans::PropertyValue made;
  made.Name = OUString::createFromAscii(name);
  made.Value = std::move(value);
  return made;
}

Sequence<css::beans::PropertyValue> properties(const std::vector<css::beans::PropertyValue>& list) {
  return Sequence<css::beans::PropertyValue>(list.data(), static_cast<sal_Int32>(list.size()));
}

// A local path as a file URL, every character that needs it escaped.
OUString fileUrl(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute.front() != '/') {
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer) != nullptr) absolute = std::string(buffer) + "/" + path;
  }
  return "file://" + rtl::Uri::encode(u(absolute), rtl_UriCharClassUricNoSlash, rtl_UriEncodeIgnoreEscapes,
                                      RTL_TEXTENCODING_UTF8)
                         .replaceAll("%2F", "/");
}

std::string temporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// Only tests let documents run their macros (loaded with a frame of their own, macros
// allowed by the load and by the profile), to show that without this the same document's
// macro does not run.
bool macrosAllowedForTests() {
  const char* allowed = std::getenv("VELLUMDOCK_TEST_RUN_MACROS");
  return allowed != nullptr && std::string(allowed) == "1";
}

// The suite's settings in a new profile: documents follow no link to another file or to
// the network when loaded or printed (the referring document is never a trusted location),
// and no macro runs, whatever a document asks. The suite keeps the file and adds its own.
void writeProfileSettings(const std::string& profile) {
  const std::string user = profile + "/user";
  const std::string settings = user + "/registrymodifications.xcu";
  if (access(settings.c_str(), F_OK) == 0) return;
  mkdir(profile.c_str(), 0700);
  mkdir(user.c_str(), 0700);
  const auto item = [](const char* path, const char* name, const std::string& value) {
    return std::string("<item oor:path=\"") + path + "\"><prop oor:name=\"" + name + "\" oor:op=\"fuse\"><value>" +
           value + "</value></prop></item>\n";
  };
  const char* scripting = "/org.openoffice.Office.Common/Security/Scripting";
  const bool macros = macrosAllowedForTests();
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
  text += item(scripting, "BlockUntrustedRefererLinks", "true");
  text += item(scripting, "DisableMacrosExecution", macros ? "false" : "true");
  // 3: only macros from trusted locations, of which there are none.
  text += item(scripting, "MacroSecurityLevel", macros ? "0" : "3");
  text += "</oor:items>\n";
  std::ofstream(settings) << text;
}

// The suite's process and the connection to it. Everything UNO lives here and is
// released before main returns: UNO references that outlive main crash at exit.
class Suite {
 public:
  ~Suite() { stop(); }

  Reference<css::frame::XDesktop2> desktop(JobReporter* reporter) {
    if (desktop_.is() && running()) return desktop_;
    stop();
    start(reporter);
    return desktop_;
  }

  // After a failure the suite may be in pieces: the next job starts a fresh one.
  void discard() { stop(); }

 private:
  bool running() {
    if (pid_ == 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = 0;
      return false;
    }
    return true;
  }

  void start(JobReporter* reporter) {
    static int started = 0;
    const std::string profile = temporaryFolder() + "/office-profile";
    writeProfileSettings(profile);
    pipeName_ = "vellumdock-" + std::to_string(getpid()) + "-" + std::to_string(++started);
    const std::string program = std::string(kProgramDir) + "/soffice";
    const std::vector<std::string> arguments = {program,
                                                "--headless",
                                                "--invisible",
                                                "--norestore",
                                                "--nologo",
                                                "--nodefault",
                                                "--nolockcheck",
                                                "--nofirststartwizard",
                                                "-env:UserInstallation=" + utf8(fileUrl(profile)),
                                                "--accept=pipe,name=" + pipeName_ + ";urp;StarOffice.ComponentContext"};
    // The suite gets none of our descriptors (the client's socket among them) and connects
    // nowhere: the pipe is its listening end.
    pid_ = vd::worker::startWithoutConnections(arguments, environ, vd::worker::thisProcessIsConfined());
    if (pid_ < 0) {
      pid_ = 0;
      throw std::runtime_error("The office suite could not be started (" + program + ").");
    }
    if (reporter != nullptr) reporter->line("Started the office suite (process " + std::to_string(pid_) + ").");

    if (!local_.is()) local_ = cppu::defaultBootstrap_InitialComponentContext();
    const Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(local_);
    const OUString url = u("uno:pipe,name=" + pipeName_ + ";urp;StarOffice.ComponentContext");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(kConnectSeconds);
    for (;;) {
      try {
        const Reference<css::uno::XComponentContext> remote(resolver->resolve(url), UNO_QUERY_THROW);
        desktop_ = css::frame::Desktop::create(remote);
        return;
      } catch (const css::connection::NoConnectException&) {
      }
      if (!running() || std::chrono::steady_clock::now() > deadline) {
        stop();
        throw std::runtime_error("The office suite did not start.");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }

  void stop() {
    if (desktop_.is()) {
      try {
        desktop_->terminate();
      } catch (const css::uno::Exception&) {
      }
      desktop_.clear();
    }
    if (pid_ != 0) {
      // The suite ends on its own within moments of terminate(); one that does not is killed
      // with whatever it started.
      for (int i = 0; i < 50 && running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (pid_ != 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
      }
    }
    // The suite started by the launcher script leaves its office process as a child of
    // ours only while the script runs: any still in our group goes too.
  }

 public:
  void release() {
    stop();
    if (local_.is()) {
      Reference<css::lang::XComponent>(local_, UNO_QUERY)->dispose();
      local_.clear();
    }
  }

 private:
  pid_t pid_ = 0;
  std::string pipeName_;
  Reference<css::uno::XComponentContext> local_;
  Reference<css::frame::XDesktop2> desktop_;
};

Suite* suite = nullptr;

using Settings = std::map<std::string, std::string>;

std::string setting(const Settings& settings, const std::string& key, const std::string& fallback = "") {
  const auto found = settings.find(key);
  return found == settings.end() ? fallback : found->second;
}
bool flag(const Settings& settings, const std::string& key) { return setting(settings, key) == "1"; }
long number(const Settings& settings, const std::string& key, long fallback) {
  const std::string text = setting(settings, key);
  if (text.empty()) return fallback;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return *end == '\0' ? value : fallback;
}

template <class T>
T get(const Reference<css::beans::XPropertySet>& set, const char* name) {
  T value{};
  set->getPropertyValue(OUString::createFromAscii(name)) >>= value;
  return value;
}
template <class T>
void put(const Reference<css::beans::XPropertySet>& set, const char* name, const T& value) {
  set->setPropertyValue(OUString::createFromAscii(name), Any(value));
}

Reference<css::beans::XPropertySet> pageStyle(const Reference<css::lang::XComponent>& document, const OUString& name) {
  const Reference<css::style::XStyleFamiliesSupplier> families(document, UNO_QUERY_THROW);
  const Reference<css::container::XNameAccess> pageStyles(families->getStyleFamilies()->getByName("PageStyles"),
                                                          UNO_QUERY_THROW);
  return Reference<css::beans::XPropertySet>(pageStyles->getByName(name), UNO_QUERY_THROW);
}

// Portrait or landscape, with width and height following.
void orient(const Reference<css::beans::XPropertySet>& style, bool landscape) {
  css::awt::Size size = get<css::awt::Size>(style, "Size");
  const bool wide = size.Width > size.Height;
  if (wide != landscape) std::swap(size.Width, size.Height);
  put(style, "IsLandscape", landscape);
  put(style, "Size", size);
}

// A paragraph holding the page number, aligned as asked, at the end of a header or footer.
void addPageNumber(const Reference<css::lang::XComponent>& document, const Reference<css::text::XText>& text,
                   long alignment) {
  const Reference<css::lang::XMultiServiceFactory> factory(document, UNO_QUERY_THROW);
  const Reference<css::text::XTextContent> field(factory->createInstance("com.sun.star.text.TextField.PageNumber"),
                                                 UNO_QUERY_THROW);
  const Reference<css::beans::XPropertySet> fieldProperties(field, UNO_QUERY_THROW);
  put(fieldProperties, "NumberingType", css::style::NumberingType::ARABIC);
  put(fieldProperties, "SubType", css::text::PageNumberType_CURRENT);
  const Reference<css::text::XTextCursor> cursor = text->createTextCursor();
  cursor->gotoEnd(false);
  const Reference<css::text::XTextRange> end(cursor.get());
  if (!text->getString().isEmpty()) {
    text->insertControlCharacter(end, css::text::ControlCharacter::PARAGRAPH_BREAK, false);
  }
  const Reference<css::beans::XPropertySet> paragraph(cursor, UNO_QUERY_THROW);
  const css::style::ParagraphAdjust adjust = alignment == 0   ? css::style::ParagraphAdjust_LEFT
                                             : alignment == 2 ? css::style::ParagraphAdjust_RIGHT
                                                              : css::style::ParagraphAdjust_CENTER;
  put(paragraph, "ParaAdjust", static_cast<sal_Int16>(adjust));
  text->insertTextContent(end, field, false);
}

// Word's page settings: orientation and page numbers on the page style of the first page.
void applyWordSettings(const Reference<css::lang::XComponent>& document, const Settings& settings,
                       std::vector<css::beans::PropertyValue>& filterData) {
  const Reference<css::text::XTextDocument> text(document, UNO_QUERY_THROW);
  const Reference<css::beans::XPropertySet> start(text->getText()->createTextCursor(), UNO_QUERY_THROW);
  const Reference<css::beans::XPropertySet> style = pageStyle(document, get<OUString>(start, "PageStyleName"));
  if (setting(settings, "orientation") == "1" || setting(settings, "orientation") == "0") {
    orient(style, setting(settings, "orientation") == "1");
  }
  const bool footer = flag(settings, "numbersInFooter");
  const bool header = flag(settings, "numbersInHeader");
  if (footer || header) {
    const long alignment = number(settings, "numberAlignment", 1);
    const bool firstPage = flag(settings, "numberFirstPage");
    // What the first page's header and footer held before the numbers, by their first-page names.
    std::vector<std::pair<const char*, OUString>> firstPageTexts;
    const auto addNumbers = [&](const char* on, const char* textName, const char* firstTextName) {
      const bool wasOn = get<bool>(style, on);
      put(style, on, true);
      const Reference<css::text::XText> text = get<Reference<css::text::XText>>(style, textName);
      firstPageTexts.emplace_back(firstTextName, wasOn ? text->getString() : OUString());
      addPageNumber(document, text, alignment);
    };
    if (footer) addNumbers("FooterIsOn", "FooterText", "FooterTextFirst");
    if (header) addNumbers("HeaderIsOn", "HeaderText", "HeaderTextFirst");
    if (!firstPage) {
      // The first page gets a header and footer of its own, with what they had before the
      // numbers. Unsharing copies both the numbered header and footer onto the first page,
      // so it happens once, after both are numbered, and both are put back afterwards.
      put(style, "FirstIsShared", false);
      for (const auto& [firstTextName, before] : firstPageTexts) {
        const Reference<css::text::XText> first = get<Reference<css::text::XText>>(style, firstTextName);
        if (first.is() && first->getString() != before) first->setString(before);
      }
    }
  }
  const std::string pages = setting(settings, "pages");
  if (!pages.empty()) filterData.push_back(property("PageRange", Any(u(pages))));
}

// Points as the suite's hundredths of a millimetre.
sal_Int32 hundredthsOfMillimetre(double points) { return static_cast<sal_Int32>(points * 2540.0 / 72.0 + 0.5); }

double points(const Settings& settings, const std::string& key) {
  const std::string text = setting(settings, key);
  if (text.empty()) return -1;
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double value = -1;
  in >> value;
  return in ? value : -1;
}

Reference<css::sheet::XSpreadsheet> chosenSheet(const Reference<css::lang::XComponent>& document,
                                               const Settings& settings) {
  const Reference<css::sheet::XSpreadsheetDocument> book(document, UNO_QUERY_THROW);
  const Reference<css::sheet::XSpreadsheets> sheets = book->getSheets();
  const Reference<css::container::XIndexAccess> byIndex(sheets, UNO_QUERY_THROW);
  const std::string index = setting(settings, "sheetIndex");
  if (!index.empty()) {
    const long number = std::strtol(index.c_str(), nullptr, 10);
    if (number < 1 || number > byIndex->getCount()) throw std::runtime_error("The workbook has no sheet " + index + ".");
    return Reference<css::sheet::XSpreadsheet>(byIndex->getByIndex(static_cast<sal_Int32>(number - 1)), UNO_QUERY_THROW);
  }
  const std::string name = setting(settings, "sheetName");
  if (settings.count("sheetName") != 0) {
    if (!sheets->hasByName(u(name))) throw std::runtime_error("The workbook has no sheet named " + name + ".");
    return Reference<css::sheet::XSpreadsheet>(sheets->getByName(u(name)), UNO_QUERY_THROW);
  }
  const Reference<css::frame::XModel> model(document, UNO_QUERY);
  Reference<css::sheet::XSpreadsheetView> view;
  if (model.is()) view.set(model->getCurrentController(), UNO_QUERY);
  if (view.is()) return view->getActiveSheet();
  return Reference<css::sheet::XSpreadsheet>(byIndex->getByIndex(0), UNO_QUERY_THROW);
}

// No cell holds anything or is formatted, and nothing is drawn on the sheet.
bool isBlank(const Reference<css::lang::XComponent>& document, const Reference<css::sheet::XSpreadsheet>& sheet) {
  // The workbook's draw pages are its sheets' drawing layers, in the sheets' order.
  const sal_Int16 index = Reference<css::sheet::XCellRangeAddressable>(sheet, UNO_QUERY_THROW)->getRangeAddress().Sheet;
  const Reference<css::drawing::XDrawPages> layers =
      Reference<css::drawing::XDrawPagesSupplier>(document, UNO_QUERY_THROW)->getDrawPages();
  if (index < layers->getCount() && Reference<css::container::XIndexAccess>(layers->getByIndex(index), UNO_QUERY_THROW)->hasElements()) {
    return false;
  }
  const Reference<css::sheet::XSheetCellCursor> cursor = sheet->createCursor();
  const Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
  used->gotoStartOfUsedArea(false);
  used->gotoEndOfUsedArea(true);
  const css::table::CellRangeAddress area =
      Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
  if (area.EndColumn > area.StartColumn || area.EndRow > area.StartRow) return false;
  return sheet->getCellByPosition(area.StartColumn, area.StartRow)->getType() == css::table::CellContentType_EMPTY;
}

// What to print: the range asked for. "Print_Area" is the sheet printed as the suite prints
// a sheet: its print areas, or where it has none its used cells together with everything
// drawn on it (charts, pictures, shapes, text boxes, form controls, embedded objects) and
// the cells its overflowing text reaches. The export works that out itself when it is
// handed the sheet object rather than a range of cells; the used cells alone would leave
// out a chart beside them and print a sheet holding only a chart or a drawing blank.
// A sheet with nothing on it at all prints its first cell, an empty page.
Reference<css::table::XCellRange> chosenRange(const Reference<css::lang::XComponent>& document,
                                              const Reference<css::sheet::XSpreadsheet>& sheet,
                                              const std::string& range) {
  std::string folded = range;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (folded == "print_area") {
    if (isBlank(document, sheet)) return sheet->getCellRangeByPosition(0, 0, 0, 0);
    return Reference<css::table::XCellRange>(sheet, UNO_QUERY_THROW);
  }
  try {
    return sheet->getCellRangeByName(u(range));
  } catch (const css::uno::RuntimeException&) {
    throw std::runtime_error("The sheet has no range " + range + ".");
  }
}

// A header or footer part's text, with Excel's codes for the page number (&P) and the
// number of pages (&N) as the suite's fields; "&&" is one "&".
void setPartText(const Reference<css::lang::XComponent>& document, const Reference<css::text::XText>& text,
                 const std::string& value) {
  text->setString(OUString());
  const Reference<css::lang::XMultiServiceFactory> factory(document, UNO_QUERY_THROW);
  const Reference<css::text::XTextCursor> cursor = text->createTextCursor();
  cursor->gotoEnd(false);
  const Reference<css::text::XTextRange> end(cursor.get());
  std::string pending;
  const auto flush = [&] {
    if (!pending.empty()) text->insertString(end, u(pending), false);
    pending.clear();
  };
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char code = i + 1 < value.size() ? static_cast<char>(std::toupper(static_cast<unsigned char>(value[i + 1]))) : 0;
    if (value[i] == '&' && (code == 'P' || code == 'N')) {
      flush();
      const Reference<css::text::XTextContent> field(
          factory->createInstance(code == 'P' ? OUString("com.sun.star.text.TextField.PageNumber")
                                              : OUString("com.sun.star.text.TextField.PageCount")),
          UNO_QUERY_THROW);
      text->insertTextContent(end, field, false);
      ++i;
    } else if (value[i] == '&' && value.compare(i, 2, "&&") == 0) {
      pending += '&';
      ++i;
    } else {
      pending += value[i];
    }
  }
  flush();
}

void setHeaderFooter(const Reference<css::lang::XComponent>& document, const Reference<css::beans::XPropertySet>& style,
                     const Settings& settings, const char* part) {
  const std::string prefix = part;
  const std::string left = prefix + ".left", center = prefix + ".center", right = prefix + ".right";
  if (settings.count(left) + settings.count(center) + settings.count(right) == 0) return;
  const bool header = prefix == "header";
  put(style, header ? "HeaderIsOn" : "FooterIsOn", true);
  for (const char* side : {"RightPage", "LeftPage"}) {
    const std::string property = std::string(side) + (header ? "HeaderContent" : "FooterContent");
    const Reference<css::sheet::XHeaderFooterContent> content =
        get<Reference<css::sheet::XHeaderFooterContent>>(style, property.c_str());
    if (!content.is()) continue;
    if (settings.count(left) != 0) setPartText(document, content->getLeftText(), setting(settings, left));
    if (settings.count(center) != 0) setPartText(document, content->getCenterText(), setting(settings, center));
    if (settings.count(right) != 0) setPartText(document, content->getRightText(), setting(settings, right));
    put(style, property.c_str(), content);
  }
}

// Excel's page setup on the chosen sheet's page style, and the chosen range as what is
// printed.
void applyExcelSettings(const Reference<css::lang::XComponent>& document, const Settings& settings,
                        std::vector<css::beans::PropertyValue>& filterData) {
  const Reference<css::sheet::XSpreadsheet> sheet = chosenSheet(document, settings);
  const Reference<css::beans::XPropertySet> sheetProperties(sheet, UNO_QUERY_THROW);
  const Reference<css::beans::XPropertySet> style = pageStyle(document, get<OUString>(sheetProperties, "PageStyle"));
  if (settings.count("gridlines") != 0) put(style, "PrintGrid", flag(settings, "gridlines"));
  setHeaderFooter(document, style, settings, "header");
  setHeaderFooter(document, style, settings, "footer");
  const std::pair<const char*, const char*> margins[] = {
      {"margin.left", "LeftMargin"}, {"margin.right", "RightMargin"}, {"margin.top", "TopMargin"},
      {"margin.bottom", "BottomMargin"}};
  for (const auto& [key, property] : margins) {
    const double value = points(settings, key);
    if (value > 0) put(style, property, hundredthsOfMillimetre(value));
  }
  // The suite measures the top margin to the header and the header's height to the body;
  // Excel measures the header from the edge and the body from the edge.
  const auto edgeMargin = [&](const char* key, const char* bodyKey, const char* on, const char* margin,
                              const char* height) {
    const double value = points(settings, key);
    if (value <= 0 || !get<bool>(style, on)) return;
    const double body = points(settings, bodyKey) > 0 ? points(settings, bodyKey)
                                                      : get<sal_Int32>(style, margin) * 72.0 / 2540.0 +
                                                            get<sal_Int32>(style, height) * 72.0 / 2540.0;
    put(style, margin, hundredthsOfMillimetre(value));
    if (body > value) {
      put(style, std::string(on).substr(0, 6) == "Header" ? "HeaderIsDynamicHeight" : "FooterIsDynamicHeight", false);
      put(style, height, hundredthsOfMillimetre(body - value));
    }
  };
  edgeMargin("margin.header", "margin.top", "HeaderIsOn", "TopMargin", "HeaderHeight");
  edgeMargin("margin.footer", "margin.bottom", "FooterIsOn", "BottomMargin", "FooterHeight");
  if (settings.count("firstPageNumber") != 0) {
    const long first = number(settings, "firstPageNumber", 1);
    put(style, "FirstPageNumber", static_cast<sal_Int16>(std::clamp<long>(first, 0, 32767)));
  }
  const Reference<css::table::XCellRange> range = chosenRange(document, sheet, setting(settings, "range", "Print_Area"));
  filterData.push_back(property("Selection", Any(range)));
}

// PowerPoint's slide range: the first and last slide, a value below 1 leaving that end open.
void applyPresentationSettings(const Reference<css::lang::XComponent>& document, const Settings& settings,
                               std::vector<css::beans::PropertyValue>& filterData) {
  const long from = number(settings, "from", -1);
  const long to = number(settings, "to", -1);
  if (from < 1 && to < 1) return;
  const Reference<css::drawing::XDrawPagesSupplier> supplier(document, UNO_QUERY_THROW);
  const long slides = supplier->getDrawPages()->getCount();
  const long first = from < 1 ? 1 : from;
  const long last = to < 1 ? slides : std::min(to, slides);
  if (first > last) {
    throw std::runtime_error("The presentation has no slides " + std::to_string(first) + " to " + std::to_string(last) +
                             " (it has " + std::to_string(slides) + ").");
  }
  filterData.push_back(property("PageRange", Any(u(std::to_string(first) + "-" + std::to_string(last)))));
}

// A picture opened by the drawing component sits on a page of paper size; the page takes
// the picture's own size instead, as the page of any other image does.
void fitPageToPicture(const Reference<css::lang::XComponent>& document, const std::string& path) {
  const Reference<css::lang::XServiceInfo> info(document, UNO_QUERY);
  if (!info.is() || !info->supportsService("com.sun.star.drawing.DrawingDocument")) {
    throw std::runtime_error("The file " + path + " is not a picture the office suite can draw.");
  }
  const Reference<css::drawing::XDrawPages> pages =
      Reference<css::drawing::XDrawPagesSupplier>(document, UNO_QUERY_THROW)->getDrawPages();
  if (pages->getCount() != 1) return;
  const Reference<css::drawing::XShapes> page(pages->getByIndex(0), UNO_QUERY_THROW);
  if (page->getCount() != 1) {
    throw std::runtime_error("The office suite drew nothing of the picture " + path + ".");
  }
  const Reference<css::drawing::XShape> picture(page->getByIndex(0), UNO_QUERY_THROW);
  css::awt::Size size = picture->getSize();
  // A picture larger than the paper was shrunk to fit it: its own size is the graphic's.
  const Reference<css::beans::XPropertySet> shapeProperties(picture, UNO_QUERY);
  const Reference<css::beans::XPropertySetInfo> known =
      shapeProperties.is() ? shapeProperties->getPropertySetInfo() : Reference<css::beans::XPropertySetInfo>();
  if (known.is() && known->hasPropertyByName("Graphic")) {
    const Reference<css::beans::XPropertySet> graphic = get<Reference<css::beans::XPropertySet>>(shapeProperties, "Graphic");
    if (graphic.is()) {
      const css::awt::Size own = get<css::awt::Size>(graphic, "Size100thMM");
      if (own.Width > 0 && own.Height > 0) size = own;
    }
  }
  // What the suite could not read it keeps as an empty shape on a blank page.
  if (size.Width <= 0 || size.Height <= 0) throw std::runtime_error("The office suite drew nothing of the picture " + path + ".");
  const Reference<css::beans::XPropertySet> pageProperties(page, UNO_QUERY_THROW);
  for (const char* border : {"BorderLeft", "BorderRight", "BorderTop", "BorderBottom"}) put(pageProperties, border, sal_Int32{0});
  put(pageProperties, "Width", size.Width);
  put(pageProperties, "Height", size.Height);
  picture->setSize(size);
  picture->setPosition(css::awt::Point(0, 0));
}

void closeDocument(const Reference<css::lang::XComponent>& document);

// Answers whatever the suite asks while it loads a document with "abort", noting whether it
// asked for a password.
class PasswordQuestionWatch : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
 public:
  void SAL_CALL handle(const Reference<css::task::XInteractionRequest>& request) override {
    if (request->getRequest().isExtractableTo(cppu::UnoType<css::task::PasswordRequest>::get())) asked_ = true;
    const Sequence<Reference<css::task::XInteractionContinuation>> continuations = request->getContinuations();
    for (sal_Int32 i = 0; i < continuations.getLength(); ++i) {
      const Reference<css::task::XInteractionAbort> abort(continuations[i], UNO_QUERY);
      if (abort.is()) {
        abort->select();
        return;
      }
    }
  }
  bool asked() const { return asked_; }

 private:
  bool asked_ = false;
};

// For a document that did not load: whether the suite wants a password for it. Asked by
// loading it once more with someone to ask, so that documents that load are loaded as
// before, with nobody to answer questions.
bool asksForPassword(const Reference<css::frame::XDesktop2>& desktop, const std::string& path,
                     std::vector<css::beans::PropertyValue> arguments) {
  const rtl::Reference<PasswordQuestionWatch> watch(new PasswordQuestionWatch);
  const Reference<css::task::XInteractionHandler> handler(watch.get());
  arguments.push_back(property("InteractionHandler", Any(handler)));
  try {
    const Reference<css::lang::XComponent> document =
        desktop->loadComponentFromURL(fileUrl(path), "_blank", 0, properties(arguments));
    if (document.is()) closeDocument(document);
  } catch (const css::uno::Exception&) {
  }
  return watch->asked();
}

// An encrypted PowerPoint 97-2003 file, which the suite cannot open with any password and
// so never asks for one: its "Current User" stream, which starts on a 64-byte boundary of
// the compound file, holds the current-user record with the header token of encryption.
bool isEncryptedPresentation(const std::string& path) {
  constexpr unsigned char kRecord[] = {0x00, 0x00, 0xF6, 0x0F};
  constexpr unsigned char kSizeAndToken[] = {0x14, 0x00, 0x00, 0x00, 0xDF, 0xC4, 0xD1, 0xF3};
  std::ifstream file(path, std::ios::binary);
  char block[64];
  while (file.read(block, sizeof block)) {
    if (std::memcmp(block, kRecord, sizeof kRecord) == 0 && std::memcmp(block + 8, kSizeAndToken, sizeof kSizeAndToken) == 0) {
      return true;
    }
  }
  return false;
}

Reference<css::lang::XComponent> load(const Reference<css::frame::XDesktop2>& desktop, const std::string& path,
                                      const Settings& settings) {
  std::vector<css::beans::PropertyValue> arguments = {
      // A hidden document has no frame to run the macros of its events in.
      property("Hidden", Any(!macrosAllowedForTests())),
      property("ReadOnly", Any(true)),
      property("MacroExecutionMode", Any(macrosAllowedForTests() ? css::document::MacroExecMode::ALWAYS_EXECUTE_NO_WARN
                                                                 : css::document::MacroExecMode::NEVER_EXECUTE)),
      property("UpdateDocMode", Any(css::document::UpdateDocMode::NO_UPDATE)),
  };
  const std::string password = setting(settings, "password");
  if (!password.empty()) arguments.push_back(property("Password", Any(u(password))));
  Reference<css::lang::XComponent> document;
  try {
    document = desktop->loadComponentFromURL(fileUrl(path), "_blank", 0, properties(arguments));
  } catch (const css::lang::IllegalArgumentException&) {
  } catch (const css::io::IOException&) {
  }
  if (!document.is()) {
    if (password.empty() && (asksForPassword(desktop, path, arguments) || isEncryptedPresentation(path))) {
      throw std::runtime_error("The document " + path + " is protected by a password: it cannot be opened without it.");
    }
    throw std::runtime_error("The document " + path + " could not be opened" +
                             (password.empty() ? std::string(".") : std::string(" with the password given.")));
  }
  return document;
}

const char* exportFilter(const Reference<css::lang::XComponent>& document) {
  if (Reference<css::text::XTextDocument>(document, UNO_QUERY).is()) return "writer_pdf_Export";
  if (Reference<css::sheet::XSpreadsheetDocument>(document, UNO_QUERY).is()) return "calc_pdf_Export";
  const Reference<css::lang::XServiceInfo> info(document, UNO_QUERY);
  if (info.is() && info->supportsService("com.sun.star.presentation.PresentationDocument")) return "impress_pdf_Export";
  return "draw_pdf_Export";
}

void closeDocument(const Reference<css::lang::XComponent>& document) {
  const Reference<css::util::XCloseable> closeable(document, UNO_QUERY);
  if (closeable.is()) {
    closeable->close(true);
  } else {
    document->dispose();
  }
}

// The document the suite loads: the job's own, or where it is rich text with a picture
// field, a copy of it (of the same name, in the worker's temporary folder) without one.
class DisarmedCopy {
 public:
  explicit DisarmedCopy(const std::string& input) : path_(input) {
    if (!vd::office::isRichText(input)) return;
    std::ifstream in(input, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) throw std::runtime_error("The document " + input + " could not be read.");
    if (!vd::office::disarmPictureFields(text)) return;
    folder_ = temporaryFolder() + "/disarmed";
    mkdir(folder_.c_str(), 0700);
    const std::size_t slash = input.find_last_of('/');
    path_ = folder_ + "/" + (slash == std::string::npos ? input : input.substr(slash + 1));
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    if (!(out << text) || !out.flush()) {
      unlink(path_.c_str());
      throw std::runtime_error("The document " + input + " could not be copied to " + folder_ + ".");
    }
  }
  ~DisarmedCopy() {
    if (folder_.empty()) return;
    unlink(path_.c_str());
    rmdir(folder_.c_str());
  }
  DisarmedCopy(const DisarmedCopy&) = delete;
  DisarmedCopy& operator=(const DisarmedCopy&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string folder_;
};

// job: {"print", application, document, print file, key, value, ...}
int printJob(const std::vector<std::string>& job, JobReporter& reporter) {
  if (job.size() < 4 || job[0] != "print" || (job.size() - 4) % 2 != 0) {
    throw std::invalid_argument("not an office job");
  }
  const std::string& application = job[1];
  const std::string& input = job[2];
  const std::string& output = job[3];
  Settings settings;
  for (std::size_t i = 4; i + 1 < job.size(); i += 2) settings[job[i]] = job[i + 1];

  const Reference<css::frame::XDesktop2> desktop = suite->desktop(&reporter);
  const DisarmedCopy disarmed(input);
  Reference<css::lang::XComponent> document = load(desktop, disarmed.path(), settings);
  try {
    std::vector<css::beans::PropertyValue> filterData;
    if (application == "word") {
      if (!Reference<css::text::XTextDocument>(document, UNO_QUERY).is()) {
        throw std::runtime_error("The document " + input + " is not a text document.");
      }
      applyWordSettings(document, settings, filterData);
    } else if (application == "excel") {
      if (!Reference<css::sheet::XSpreadsheetDocument>(document, UNO_QUERY).is()) {
        throw std::runtime_error("The document " + input + " is not a workbook.");
      }
      applyExcelSettings(document, settings, filterData);
    } else if (application == "powerpoint") {
      applyPresentationSettings(document, settings, filterData);
    } else if (application == "draw") {
      fitPageToPicture(document, input);
    } else if (application == "visio") {
      const Reference<css::lang::XServiceInfo> info(document, UNO_QUERY);
      if (!info.is() || !info->supportsService("com.sun.star.drawing.DrawingDocument")) {
        throw std::runtime_error("The document " + input + " is not a drawing.");
      }
    }
    const std::vector<css::beans::PropertyValue> store = {
        property("FilterName", Any(OUString::createFromAscii(exportFilter(document)))),
        property("Overwrite", Any(true)),
        property("FilterData", Any(properties(filterData))),
    };
    Reference<css::frame::XStorable>(document, UNO_QUERY_THROW)->storeToURL(fileUrl(output), properties(store));
  } catch (...) {
    try {
      closeDocument(document);
    } catch (...) {
    }
    throw;
  }
  closeDocument(document);
  return 0;
}

int handleJob(const std::vector<std::string>& job, JobReporter& reporter) {
  try {
    return printJob(job, reporter);
  } catch (const css::lang::DisposedException&) {
    suite->discard();
    throw std::runtime_error("The office suite ended while it worked on " + (job.size() > 2 ? job[2] : "a document") +
                             ".");
  } catch (const css::uno::Exception& error) {
    // A failed call may have left the suite in pieces.
    suite->discard();
    throw std::runtime_error("The office suite failed on " + (job.size() > 2 ? job[2] : "a document") + ": " +
                             utf8(error.Message));
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Without a bootstrap file the UNO runtime crashes on its first use instead of failing.
  setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:/usr/lib/libreoffice/program/fundamentalrc", 1);
  Suite kept;
  suite = &kept;
  // Beyond the system's trees the suite reads its configuration and the caches of its
  // extensions, which the distribution keeps outside its program folder.
  vd::worker::ConfinementRules rules;
  rules.readable = {"/etc/libreoffice", "/var/lib/libreoffice", "/var/spool/libreoffice"};
  rules.sockets = true;
  // The suite starts before the first job arrives, so the first document waits less.
  const int code = vd::worker::serveConfinedJobs(argc, argv, rules, handleJob, [] {
    try {
      suite->desktop(nullptr);
    } catch (...) {
      // The job that comes next reports why.
    }
  });
  kept.release();
  suite = nullptr;
  return code;
}
