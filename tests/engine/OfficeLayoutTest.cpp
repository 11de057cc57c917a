// Workbooks and presentations against the office suite's own PDF export of the same
// documents, made once for all samples by one `soffice --convert-to pdf` with a profile of
// its own. A workbook's sheets, each printed on its own, carry at least nine tenths of the
// ink of the reference's pages of that sheet and every word on them: charts, pictures,
// shapes, text boxes and embedded objects print with the cells, a sheet holding only a
// chart or a drawing prints it, and text reaching into empty cells is not cut. A deck
// turned tall keeps every word of every slide where the slide had it, scaled as one with
// the slide, inside the page.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "engine/CreatePDF.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

// Workbooks: charts of several kinds on their data's sheet (line, pie, scatter beside two
// cells) and on sheets of their own (line, scatter), pictures and a text box on a sheet
// without cells, a text box alone, embedded objects; and, made here, a sheet whose text
// runs into empty cells and a sheet holding only a drawing.
const char* const kWorkbooks[] = {"xlsx/WithThreeCharts.xlsx", "xlsx/123233_charts.xlsx", "xlsx/SimpleScatterChart.xlsx",
                                  "xlsx/chart_sheet.xlsx",     "xlsx/WithDrawing.xlsx",    "xlsx/WithTextBox.xlsx",
                                  "xlsx/WithEmbeded.xlsx",     "xls/ole2-embedding.xls"};
// Decks: 4:3 slides with large titles, 4:3 shapes with text, a 16:9 table; made here, a dense
// 16:9 slide and a 4:3 slide whose title fills its width.
const char* const kDecks[] = {"pptx/layouts.pptx", "pptx/shapes.pptx", "pptx/table_test2.pptx"};

const char* const kOdfNamespaces =
    R"( xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0")"
    R"( xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0")"
    R"( xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0")"
    R"( xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0")"
    R"( xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0")"
    R"( xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0")"
    R"( xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0")"
    R"( xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" office:version="1.3")";

// words words of running text, each different, so that a word cut in two shows.
std::string runningText(int words, const std::string& stem) {
  std::string text;
  for (int i = 1; i <= words; ++i) text += (i > 1 ? " " : "") + stem + std::to_string(i);
  return text;
}

// A workbook of two sheets: text running far past its cell into empty ones beside it above
// a number, and a sheet holding nothing but a drawn shape with words in it.
std::string overflowAndDrawingWorkbook() {
  return std::string(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document)") + kOdfNamespaces + R"( office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body><office:spreadsheet>
  <table:table table:name="Overflow">
   <table:table-row><table:table-cell office:value-type="string"><text:p>)" + runningText(9, "ledger") +
         R"(</text:p></table:table-cell></table:table-row>
   <table:table-row><table:table-cell office:value-type="float" office:value="42"><text:p>42</text:p></table:table-cell></table:table-row>
  </table:table>
  <table:table table:name="Drawing">
   <table:shapes><draw:custom-shape svg:x="4cm" svg:y="9cm" svg:width="13cm" svg:height="4cm">
    <text:p>)" + runningText(6, "sketch") + R"(</text:p>
    <draw:enhanced-geometry draw:type="round-rectangle" svg:viewBox="0 0 21600 21600"/>
   </draw:custom-shape></table:shapes>
   <table:table-row><table:table-cell/></table:table-row>
  </table:table>
 </office:spreadsheet></office:body>
</office:document>
)";
}

// A presentation of one slide of the given size (cm) with a title frame and a body frame.
std::string oneSlideDeck(double width, double height, int titleWords, int titlePoints, int bodyWords, int bodyPoints) {
  const auto frame = [](double x, double y, double w, double h, const std::string& style, const std::string& text) {
    std::ostringstream made;
    made << R"(<draw:frame svg:x=")" << x << R"(cm" svg:y=")" << y << R"(cm" svg:width=")" << w << R"(cm" svg:height=")"
         << h << R"(cm"><draw:text-box><text:p text:style-name=")" << style << R"(">)" << text
         << "</text:p></draw:text-box></draw:frame>";
    return made.str();
  };
  std::ostringstream deck;
  deck << R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document)" << kOdfNamespaces << R"( office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:automatic-styles>
  <style:page-layout style:name="slide"><style:page-layout-properties fo:margin-top="0cm" fo:margin-bottom="0cm"
   fo:margin-left="0cm" fo:margin-right="0cm" fo:page-width=")" << width << R"(cm" fo:page-height=")" << height
       << R"(cm"/></style:page-layout>
  <style:style style:name="title" style:family="paragraph"><style:text-properties fo:font-size=")" << titlePoints
       << R"(pt" fo:font-weight="bold"/></style:style>
  <style:style style:name="body" style:family="paragraph"><style:text-properties fo:font-size=")" << bodyPoints
       << R"(pt"/></style:style>
 </office:automatic-styles>
 <office:master-styles><style:master-page style:name="plain" style:page-layout-name="slide"/></office:master-styles>
 <office:body><office:presentation><draw:page draw:name="one" draw:master-page-name="plain">)"
       << frame(1, 0.6, width - 2, height * 0.2, "title", runningText(titleWords, "Heading"))
       << frame(1, height * 0.25, width - 2, height * 0.7, "body", runningText(bodyWords, "point"))
       << "</draw:page></office:presentation></office:body>\n</office:document>\n";
  return deck.str();
}

// A page's words with their boxes, as pdftotext -bbox gives them (points, from the top left).
struct PlacedWord {
  std::string text;
  double left, top, right, bottom;
};
struct PlacedPage {
  double width = 0, height = 0;
  std::vector<PlacedWord> words;
};

std::vector<PlacedPage> placedWords(const std::string& pdf) {
  const std::string html = ProgramOutput("pdftotext", {"-bbox", pdf, "-"});
  static const std::regex page(R"re(<page width="([\d.]+)" height="([\d.]+)">)re");
  static const std::regex word(R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">([^<]*)</word>)re");
  std::vector<PlacedPage> pages;
  std::istringstream lines(html);
  for (std::string line; std::getline(lines, line);) {
    std::smatch found;
    if (std::regex_search(line, found, page)) {
      pages.push_back({std::stod(found[1]), std::stod(found[2]), {}});
    } else if (std::regex_search(line, found, word) && !pages.empty()) {
      pages.back().words.push_back(
          {found[5], std::stod(found[1]), std::stod(found[2]), std::stod(found[3]), std::stod(found[4])});
    }
  }
  return pages;
}

class OfficeLayoutTest : public IsolatedTest {
 protected:
  // The samples and the suite's export of each, in a scratch world of their own.
  static void SetUpTestSuite() {
    shared_ = std::make_unique<IsolatedEnvironment>();
    const std::string samples = shared_->path("samples");
    makeTestDirectory(samples, 0755);
    std::vector<std::string> arguments = {"-env:UserInstallation=file://" + shared_->path("profile"), "--headless",
                                          "--convert-to", "pdf", "--outdir", shared_->path("references")};
    const auto add = [&](const std::string& name, const std::string& bytes) {
      WriteBytes(samples + "/" + name, bytes);
      arguments.push_back(samples + "/" + name);
    };
    for (const char* workbook : kWorkbooks) add(std::filesystem::path(workbook).filename(), ReadBytes(Corpus(workbook)));
    for (const char* deck : kDecks) add(std::filesystem::path(deck).filename(), ReadBytes(Corpus(deck)));
    add("overflow and drawing.fods", overflowAndDrawingWorkbook());
    add("dense wide slide.fodp", oneSlideDeck(28, 15.75, 8, 28, 170, 14));
    add("large title.fodp", oneSlideDeck(25.4, 19.05, 6, 54, 12, 24));
    std::string output;
    referencesMade_ = RunProgram("soffice", arguments, &output, &output, {}, 600) == 0;
    if (!referencesMade_) std::fprintf(stderr, "soffice --convert-to pdf failed:\n%s\n", output.c_str());
  }
  static void TearDownTestSuite() { shared_.reset(); }

  static std::string sample(const std::string& name) { return shared_->path("samples/" + name); }
  static std::string reference(const std::string& name) {
    return shared_->path("references/" + std::filesystem::path(name).stem().string() + ".pdf");
  }

  static std::unique_ptr<IsolatedEnvironment> shared_;
  static bool referencesMade_;
  CreatePDF engine;
};

std::unique_ptr<IsolatedEnvironment> OfficeLayoutTest::shared_;
bool OfficeLayoutTest::referencesMade_ = false;

TEST_F(OfficeLayoutTest, EverySheetPrintsWhatTheSuitePrintsOfIt) {
  ASSERT_TRUE(referencesMade_);
  std::vector<std::string> workbooks;
  for (const char* workbook : kWorkbooks) workbooks.push_back(std::filesystem::path(workbook).filename());
  workbooks.push_back("overflow and drawing.fods");
  for (const std::string& workbook : workbooks) {
    SCOPED_TRACE(workbook);
    const std::string expected = reference(workbook);
    const std::vector<PlacedPage> referenceWords = placedWords(expected);
    const int referencePages = static_cast<int>(referenceWords.size());
    // The reference holds the sheets one after the other, each sheet's pages after those of
    // the sheets before it; an empty sheet has none there (ours prints it as one empty page).
    int printed = 0;
    for (std::int32_t sheet = 1; printed < referencePages; ++sheet) {
      SCOPED_TRACE("sheet " + std::to_string(sheet));
      const std::string pdf = scratch("sheet.pdf");
      ExcelOptions options;
      options.varExcelWorksheet = sheet;
      // A sheet the reference has pages for that ours printed blank leaves the count short
      // at the end: the workbook has no further sheet.
      try {
        engine.CreatePDFfromExcel(pdf, sample(workbook), options);
      } catch (const std::exception& error) {
        ADD_FAILURE() << error.what() << ": " << referencePages - printed << " pages of the reference not printed";
        break;
      }
      const int pages = PageCount(pdf);
      const long ink = InkOf(pdf, scratch("ours"), 50);
      // The text without blanks: the extraction may cut a word where the reference has it
      // whole, and the other way round.
      std::string text = ProgramOutput("pdftotext", {pdf, "-"});
      text.erase(std::remove_if(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); }), text.end());
      if (pages == 1 && ink == 0 && text.empty()) continue;
      const int first = printed + 1;
      const int last = printed + pages;
      ASSERT_LE(last, referencePages);
      const long referenceInk = InkOf(expected, scratch("reference"), 50, first, last);
      EXPECT_GE(ink, referenceInk * 9 / 10) << "pages " << first << "-" << last << " of the reference";
      // What the reference shows: a word running off its page is cut there, and the
      // Distiller keeps no letter beyond the page.
      for (int page = first; page <= last; ++page) {
        const PlacedPage& shown = referenceWords[static_cast<std::size_t>(page - 1)];
        for (const PlacedWord& word : shown.words) {
          if (word.left < 0 || word.right > shown.width || word.top < 0 || word.bottom > shown.height) continue;
          EXPECT_NE(text.find(word.text), std::string::npos) << word.text << " on page " << page;
        }
      }
      printed = last;
    }
  }
  // The overflowing text and the drawing-only sheet's words are there, whole: no cell cut them.
  ExcelOptions overflow;
  engine.CreatePDFfromExcel(scratch("overflow.pdf"), sample("overflow and drawing.fods"), overflow);
  ExpectContainsAll(PdfText(scratch("overflow.pdf")), {runningText(9, "ledger"), "42"});
  ExcelOptions drawing;
  drawing.varExcelWorksheet = std::string("Drawing");
  engine.CreatePDFfromExcel(scratch("drawing.pdf"), sample("overflow and drawing.fods"), drawing);
  ExpectContainsAll(PdfText(scratch("drawing.pdf")), {runningText(6, "sketch")});
  EXPECT_GT(InkOf(scratch("drawing.pdf"), scratch("drawing"), 50), 1000);
}

TEST_F(OfficeLayoutTest, BlankAndChosenRangesStillPrint) {
  // A sheet with nothing on it prints an empty page; a range asked for prints that range.
  const std::string blank = scratch("blank.fods");
  WriteBytes(blank, std::string(R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document)") + kOdfNamespaces + R"( office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body><office:spreadsheet><table:table table:name="Nothing"><table:table-row><table:table-cell/>
 </table:table-row></table:table></office:spreadsheet></office:body></office:document>
)");
  ExcelOptions options;
  engine.CreatePDFfromExcel(scratch("blank.pdf"), blank, options);
  EXPECT_EQ(PageCount(scratch("blank.pdf")), 1);
  ExcelOptions range;
  range.strRange = "A1:B2";
  engine.CreatePDFfromExcel(scratch("range.pdf"), Corpus("xlsx/SimpleScatterChart.xlsx"), range);
  const std::string text = PdfText(scratch("range.pdf"));
  ExpectContainsAll(text, {"X", "0.5"});
  EXPECT_EQ(text.find("1.5"), std::string::npos) << text;
}

TEST_F(OfficeLayoutTest, SlidesTurnedTallKeepTheirLayoutScaledAsOne) {
  ASSERT_TRUE(referencesMade_);
  std::vector<std::string> decks;
  for (const char* deck : kDecks) decks.push_back(std::filesystem::path(deck).filename());
  decks.insert(decks.end(), {"dense wide slide.fodp", "large title.fodp"});
  for (const std::string& deck : decks) {
    SCOPED_TRACE(deck);
    PowerPointOptions options;
    engine.CreatePDFfromPowerPoint(scratch("tall.pdf"), sample(deck), options);
    const std::vector<PlacedPage> ours = placedWords(scratch("tall.pdf"));
    const std::vector<PlacedPage> slides = placedWords(reference(deck));
    ASSERT_EQ(ours.size(), slides.size());
    for (std::size_t i = 0; i < slides.size(); ++i) {
      SCOPED_TRACE("slide " + std::to_string(i + 1));
      const PlacedPage& page = ours[i];
      const PlacedPage& slide = slides[i];
      ASSERT_GT(slide.width, slide.height);
      EXPECT_NEAR(page.width, slide.height, 1);
      EXPECT_NEAR(page.height, slide.width, 1);
      // The slide shrinks to the page's width and sits in the middle of its height.
      const double scale = page.width / slide.width;
      const double down = (page.height - slide.height * scale) / 2;
      for (const PlacedWord& word : page.words) {
        EXPECT_TRUE(word.left >= -0.5 && word.top >= -0.5 && word.right <= page.width + 0.5 &&
                    word.bottom <= page.height + 0.5)
            << word.text << " lies outside the page";
      }
      // Every word of the slide is on the page; words written the other way round may be
      // cut into pieces elsewhere by the text extraction, so pieces count too.
      std::string pageText;
      for (const PlacedWord& word : page.words) pageText += word.text;
      for (const PlacedWord& word : slide.words) EXPECT_NE(pageText.find(word.text), std::string::npos) << word.text;
      // And where the scaled slide has it. A box's height comes from its font's ascent and
      // descent, which the Distiller's copy of the font may give otherwise (and its width
      // too when the word runs upwards): the middle of the box is what stays.
      std::size_t placed = 0;
      for (const PlacedWord& word : slide.words) {
        const double middleX = (word.left + word.right) / 2 * scale;
        const double middleY = (word.top + word.bottom) / 2 * scale + down;
        const double width = (word.right - word.left) * scale;
        const double height = (word.bottom - word.top) * scale;
        placed += std::any_of(page.words.begin(), page.words.end(), [&](const PlacedWord& candidate) {
          return candidate.text == word.text &&
                 std::abs((candidate.left + candidate.right) / 2 - middleX) < std::max(2.0, width / 4) &&
                 std::abs((candidate.top + candidate.bottom) / 2 - middleY) < std::max(2.0, height / 4);
        });
      }
      EXPECT_GE(placed * 10, slide.words.size() * 9) << placed << " of " << slide.words.size() << " words in place";
    }
  }
}

}  // namespace
}  // namespace vd::test
