// Searchable scans with the real recogniser: pages of a licence text set at test time and
// rendered at 300 dpi by Ghostscript as scanners write them (grey JPEG and PNG, Group 4
// fax TIFF), converted through the engine's image operation with text recognition on.
// Checked by what pdftotext finds where (the words, their order, their places on the page),
// by the picture streams (the same bytes as without recognition) and by the rendered ink
// (the text layer adds none). Pages that cannot be recognised keep their picture and no
// text, with a note, and the document is made all the same.
#include <sys/resource.h>

#include <cmath>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "engine/CreatePDF.h"
#include "outside/ocr/SearchableScans.h"
#include "outside/ocr/TextRecognition.h"
#include "outside/worker/WorkerSpawn.h"
#include "server/ScriptRun.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/TestBounds.h"
#include "support/TextPageRendering.h"

namespace vd::test {
namespace {

int PageRotation(const std::string& pdf, int index) {
  QPDF document;
  document.processFile(pdf.c_str());
  QPDFObjectHandle rotate = QPDFPageDocumentHelper(document).getAllPages().at(index).getAttribute("/Rotate", false);
  return rotate.isInteger() ? rotate.getIntValueAsInt() : 0;
}

std::string licenceText() { return ReadBytes(Corpus("txt/GPL-3.txt")); }

std::vector<std::string> allTokens(const TextPages& pages) {
  std::vector<std::string> tokens;
  for (const auto& words : pages.pageWords) {
    for (const std::string& word : words) {
      for (std::string& token : TokensOf(word)) tokens.push_back(std::move(token));
    }
  }
  return tokens;
}

class SearchableScansTest : public IsolatedTest {
 protected:
  // The pages rendered with device at 300 dpi into the work folder.
  std::string render(const TextPages& pages, const std::string& device, const std::string& name) {
    return RenderTextPages(pages, device, scratch(name));
  }

  // The image converted as the scan cycle converts it, with recognition in languages
  // ("" for none); the notes it gave are kept in notes_.
  std::string convert(const std::string& picture, const std::string& name, const std::string& languages,
                      bool turnUpright = false) {
    const std::string pdf = scratch(name);
    TextRecognition recognition{languages, turnUpright,
                                [this](const std::string& line) { notes_.push_back(line); }};
    CreatePDF engine(EngineDetection{"8.0", "Adobe PDF"}, RealStandIns());
    engine.setTextRecognition(recognition);
    engine.CreatePDFfromImageFile(pdf, picture);
    return pdf;
  }

  // Rendered ink of every page at a low resolution.
  static std::string ink(const std::string& pdf) { return ProgramOutput("pdftoppm", {"-r", "20", "-gray", pdf}); }

  std::vector<std::string> notes_;
  const std::vector<std::string> licence_ = WordsOf(licenceText());
};

TEST_F(SearchableScansTest, GreyPageGivesItsWordsInReadingOrderWhereTheyStandAndAddsNoInk) {
  const TextPageLayout layout;  // a letter page of 11-point lines
  const TextPages pages = SetTextPages(licence_, 1, layout);
  const std::string picture = render(pages, "jpeggray", "page.jpg");
  const std::string plain = convert(picture, "plain.pdf", "");
  const std::string searchable = convert(picture, "searchable.pdf", "eng");

  const std::vector<std::string> source = allTokens(pages);
  const std::vector<std::string> found = TokensOf(PdfText(searchable));
  ASSERT_GT(source.size(), 500u);
  EXPECT_GE(ShareFound(source, found), 0.97);
  EXPECT_GE(ShareInOrder(source, found), 0.90);
  EXPECT_EQ(notes_, std::vector<std::string>{});

  // Every word sits on one of the lines it was set on, inside the text's margins.
  const std::vector<WordBox> boxes = WordBoxes(searchable);
  ASSERT_GT(boxes.size(), 500u);
  EXPECT_EQ(WordsOffTheirLines(boxes, layout), std::vector<std::string>{});
  // The JPEG is the same bytes, and the text is never painted.
  EXPECT_EQ(PictureStreams(searchable), PictureStreams(plain));
  EXPECT_EQ(ink(searchable), ink(plain));
  EXPECT_EQ(PdfText(plain).find_first_not_of(" \n\f"), std::string::npos);
}

TEST_F(SearchableScansTest, TenFaxPagesKeepTheirGroup4DataAndGetTheirWords) {
  TextPageLayout layout;  // small pages keep ten of them quick
  layout.width = 360;
  layout.height = 216;
  layout.margin = 36;
  layout.lineCharacters = 50;
  const TextPages pages = SetTextPages(licence_, 10, layout);
  const std::string picture = render(pages, "tiffg4", "fax.tif");
  const std::string plain = convert(picture, "plain.pdf", "");
  const std::string searchable = convert(picture, "searchable.pdf", "eng+deu");

  EXPECT_EQ(PageCount(searchable), 10);
  const std::vector<std::string> texts = PageTexts(searchable);
  ASSERT_EQ(texts.size(), 10u);
  std::vector<std::string> found;
  for (std::size_t page = 0; page < texts.size(); ++page) {
    SCOPED_TRACE(page);
    // Each page's words are on that page.
    std::vector<std::string> source;
    for (const std::string& word : pages.pageWords[page]) {
      for (std::string& token : TokensOf(word)) source.push_back(std::move(token));
    }
    EXPECT_GE(ShareFound(source, TokensOf(texts[page])), 0.9);
    for (std::string& token : TokensOf(texts[page])) found.push_back(std::move(token));
  }
  EXPECT_GE(ShareFound(allTokens(pages), found), 0.97);
  const std::vector<std::string> streams = PictureStreams(searchable);
  EXPECT_EQ(streams, PictureStreams(plain));
  ASSERT_FALSE(streams.empty());
  EXPECT_NE(streams.front().find("/CCITTFaxDecode"), std::string::npos);
  EXPECT_EQ(notes_, std::vector<std::string>{});
}

TEST_F(SearchableScansTest, SidewaysPageIsReadUprightAndTurnedOnlyWhenAsked) {
  TextPageLayout layout;
  layout.height = 300;
  layout.quarterTurns = 1;  // fed sideways: the text runs down the picture
  const TextPages pages = SetTextPages(licence_, 1, layout);
  const std::string picture = render(pages, "pnggray", "sideways.png");
  const std::string kept = convert(picture, "kept.pdf", "eng");
  const std::string upright = convert(picture, "upright.pdf", "eng", true);

  const std::vector<std::string> source = allTokens(pages);
  for (const std::string& pdf : {kept, upright}) {
    SCOPED_TRACE(pdf);
    EXPECT_GE(ShareFound(source, TokensOf(PdfText(pdf))), 0.97);
  }
  EXPECT_EQ(PageRotation(kept, 0), 0);
  // Its text's top points to the page's right: a quarter turn anticlockwise shows it upright.
  EXPECT_EQ(PageRotation(upright, 0), 270);
  // On the page kept sideways, every word stands on one of the turned lines: a line set at
  // height y of the upright page runs down the sideways page at x = y.
  const std::vector<WordBox> boxes = WordBoxes(kept);
  ASSERT_GT(boxes.size(), 50u);
  for (const WordBox& box : boxes) {
    SCOPED_TRACE(box.text);
    const double baseline = box.xMin + 0.2 * (box.xMax - box.xMin);
    const double line = (layout.height - layout.margin - layout.fontSize - baseline) / layout.leading;
    EXPECT_LT(std::abs(line - std::round(line)), 0.25);
    // A long word runs down the page.
    if (box.text.size() >= 6) {
      EXPECT_GT(box.yMax - box.yMin, box.xMax - box.xMin);
    }
  }
  EXPECT_EQ(PictureStreams(kept), PictureStreams(upright));
}

TEST_F(SearchableScansTest, PageThatCannotBeRecognisedKeepsItsPictureAndTheDocumentIsMade) {
  TextPageLayout layout;
  layout.height = 200;
  const std::string picture = render(SetTextPages(licence_, 2, layout), "tiffg4", "two.tif");
  const std::string plain = convert(picture, "plain.pdf", "");
  // Languages, the page's time and the worker's memory bounds, and what the note says.
  const std::vector<std::tuple<std::string, const char*, const char*, std::string>> cases = {
      {"xyz", "120", "2048", "The language data for xyz is not installed"},
      {"eng", "0.01", "2048", "did not finish within 0.01 seconds"},
      {"eng", "120", "16", "The text recogniser"},
  };
  for (const auto& [languages, seconds, megabytes, reason] : cases) {
    SCOPED_TRACE(languages + " " + reason);
    environment.set("VELLUMDOCK_OCR_TIMEOUT", seconds);
    environment.set("VELLUMDOCK_JOB_MEMORY_MB", megabytes);
    notes_.clear();
    const std::string pdf = convert(picture, "failed.pdf", languages);
    EXPECT_EQ(PageCount(pdf), 2);
    EXPECT_EQ(PdfText(pdf).find_first_not_of(" \n\f"), std::string::npos);
    EXPECT_EQ(PictureStreams(pdf), PictureStreams(plain));
    ASSERT_EQ(notes_.size(), 2u);
    EXPECT_EQ(notes_[0].rfind("Page 1 of " + picture + " kept no text: ", 0), 0u) << notes_[0];
    EXPECT_NE(notes_[0].find(reason), std::string::npos) << notes_[0];
    EXPECT_EQ(notes_[1].rfind("Page 2 of " + picture + " kept no text: ", 0), 0u) << notes_[1];
  }
}

// The recogniser reads pictures, untrusted input, confined like the interpreters: a picture
// named by its own path is out of its reach, the copy its client places in the job's folder
// is read; where the kernel cannot confine (simulated) it reads both, unless confinement is
// required, and then it recognises nothing and the page's note says why.
TEST_F(SearchableScansTest, RecogniserReadsOnlyThePicturesPlacedForItsJob) {
  TextPageLayout layout;
  layout.height = 150;
  const TextPages pages = SetTextPages(licence_, 1, layout);
  const std::string picture = render(pages, "jpeggray", "page.jpg");
  WorkerClient& worker = textRecognitionWorker(0);
  // Simulated no confinement, confinement required, the picture read by its own path, and
  // what the placed picture's failure says ("" when it is recognised).
  const std::vector<std::tuple<const char*, const char*, bool, std::string>> cases = {
      {"0", "0", false, ""},
      {"1", "0", true, ""},
      {"1", "1", false, "VELLUMDOCK_REQUIRE_CONFINEMENT=1"},
  };
  for (const auto& [simulated, required, readsOwnPath, refusal] : cases) {
    SCOPED_TRACE(std::string("simulated ") + simulated + ", required " + required);
    environment.set("VELLUMDOCK_SIMULATE_NO_CONFINEMENT", simulated);
    environment.set("VELLUMDOCK_REQUIRE_CONFINEMENT", required);
    const std::string problem = worker::confinementProblem(worker.programPath());
    if (std::string(simulated) == "0" && !problem.empty()) GTEST_SKIP() << "The kernel cannot confine: " << problem;
    worker.stop();  // the next job starts a worker under these variables
    const JobOutcome direct = worker.run({picture, "eng", "300", "60"}, worker.limits(), nullptr);
    EXPECT_EQ(direct.succeeded(), readsOwnPath) << direct.failure;
    const RecognitionOutcome placed = RecognizePicture(worker, picture, "eng", 300, 60);
    EXPECT_EQ(placed.page.has_value(), refusal.empty()) << placed.failure;
    EXPECT_NE(placed.failure.find(refusal), std::string::npos) << placed.failure;
    if (!placed.page) continue;
    std::string words;
    for (const RecognizedLine& line : placed.page->lines) {
      for (const RecognizedWord& word : line.words) words += word.text + " ";
    }
    EXPECT_GE(ShareFound(allTokens(pages), TokensOf(words)), 0.97);
  }
  worker.stop();
}

TEST_F(SearchableScansTest, DocumentPastItsBoundKeepsTheRestOfItsPagesWithoutText) {
  // The short form of a long hostile TIFF (the soak command in bench/ocr takes 500 pages):
  // once the document's bound is spent, no page is given to the recogniser any more.
  TextPageLayout layout;
  layout.height = 150;
  const std::string picture = render(SetTextPages(licence_, 30, layout), "tiffg4", "long.tif");
  environment.set("VELLUMDOCK_JOB_TIMEOUT", "1");
  const Deadline deadline(std::chrono::seconds(120), "recognising a document past its bound");
  const std::string pdf = convert(picture, "long.pdf", "eng");
  EXPECT_EQ(PageCount(pdf), 30);
  ASSERT_FALSE(notes_.empty());
  EXPECT_NE(notes_.back().find("kept no text: recognising the document passed its bound of 1 seconds."),
            std::string::npos)
      << notes_.back();
  const std::vector<std::string> texts = PageTexts(pdf);
  EXPECT_EQ(texts.back().find_first_not_of(" \n\f"), std::string::npos);
}

TEST_F(SearchableScansTest, PosterSizedPictureIsRecognisedWithinTheWorkersBounds) {
  // The short form of the soak command's 20,000 x 20,000 picture: read at a fraction of its
  // size, it keeps within a worker bound of a gigabyte and still gives its words.
  TextPages poster;
  poster.postScript =
      "%!PS\n<< /PageSize [4800 4800] >> setpagedevice\n"
      "/Times-Roman findfont 40 scalefont setfont 100 4600 moveto (A poster sized scan with a few words) show\n"
      "/Times-Roman findfont 400 scalefont setfont 200 2400 moveto (HUGE TEXT) show showpage\n";
  const std::string picture = render(poster, "jpeggray", "poster.jpg");
  environment.set("VELLUMDOCK_JOB_MEMORY_MB", "1024");
  const std::string plain = convert(picture, "plain.pdf", "");
  const std::string searchable = convert(picture, "poster.pdf", "eng");
  EXPECT_EQ(PageCount(searchable), 1);
  EXPECT_EQ(PictureStreams(searchable), PictureStreams(plain));
  EXPECT_EQ(TokensOf(PdfText(searchable)),
            (std::vector<std::string>{"A", "poster", "sized", "scan", "with", "a", "few", "words", "HUGE", "TEXT"}));
  EXPECT_EQ(notes_, std::vector<std::string>{});
}

TEST_F(SearchableScansTest, ScannedPdfOfAScriptGetsItsTextAndOtherPdfsGoInAsTheyAre) {
  TextPageLayout layout;
  layout.height = 250;
  const TextPages pages = SetTextPages(licence_, 1, layout);
  const std::string scan = convert(render(pages, "jpeggray", "scan.jpg"), "scan.pdf", "");
  const std::string typed = MakeTextPdf(scratch("typed.pdf"), {"Typed words"});
  const std::string inputDir = scratchFolder("in");
  WriteBytes(inputDir + "/joined.scr", scan + "\r\n" + typed + "\r\n");

  TextRecognition recognition{"eng", false, [this](const std::string& line) { notes_.push_back(line); }};
  CreatePDF engine(EngineDetection{"8.0", "Adobe PDF"}, RealStandIns());
  engine.setTextRecognition(recognition);
  std::vector<std::string> failures;
  ScriptRunContext context(engine, {inputDir,
                                    [] { return false; },
                                    [&failures](const std::string& why) { failures.push_back(why); },
                                    {},
                                    {},
                                    recognition});
  const std::string joined = scratch("joined.pdf");
  EXPECT_EQ(RunScript(context, inputDir + "/joined.scr", joined), ScriptRunEnd::Finished);
  EXPECT_EQ(failures, std::vector<std::string>{});
  const std::vector<std::string> texts = PageTexts(joined);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_GE(ShareFound(allTokens(pages), TokensOf(texts[0])), 0.97);
  EXPECT_EQ(TokensOf(texts[1]), (std::vector<std::string>{"Typed", "words"}));
  EXPECT_EQ(PictureStreams(joined), PictureStreams(scan));

  // Only a PDF with a scanned page that got text is written anew; others stay as they are.
  const std::string untouched = scratch("untouched.pdf");
  EXPECT_FALSE(WriteWithTextOnScannedPages(typed, untouched, recognition));
  EXPECT_FALSE(WriteWithTextOnScannedPages(scan, untouched, TextRecognition{}));
  EXPECT_FALSE(WriteWithTextOnScannedPages(scratch("missing.pdf"), untouched, recognition));
  EXPECT_FALSE(FileExistsOnDisk(untouched));
}

}  // namespace
}  // namespace vd::test
