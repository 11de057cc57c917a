// The office converters on small documents against two references, interleaved: 20 Word
// documents (CreatePDFfromWord), a workbook whose sheet holds charts (CreatePDFfromExcel)
// and a deck of ten slides turned tall (CreatePDFfromPowerPoint, as the scan cycle asks):
//   - "soffice cold": `soffice --headless --convert-to pdf` once per document, the way a
//     conversion is most often scripted (a profile of its own, made before the first round);
//   - "UNO export warm": the office worker's own warm suite asked for the document's PDF
//     export alone (load hidden, store as PDF, close) over its UNO connection, without the
//     engine, the print file or the Distiller.
// Ours is the engine's whole call: the stand-in, the suite's PDF print stream, the
// Distiller's PDF from it and the clean-up.
//
//   bench_office [--rounds N] [--markdown FILE] [--corpus FOLDER] [--only CLASS]
//
// --only runs the cases of one class ("small documents", "workbook", "deck").
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/BenchProgram.h"
#include "bench/support/Interleaved.h"
#include "bench/support/Report.h"
#include "engine/CreatePDF.h"
#include "outside/office/OfficeJobs.h"
#include "outside/office/OfficeSuite.h"

namespace {

using namespace vd::bench;
namespace fs = std::filesystem;

constexpr const char* kClass = "small documents";
constexpr const char* kWorkbook = "workbook";
constexpr const char* kDeck = "deck";

std::string onlyClass(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--only") return argv[i + 1];
  }
  return "";
}

// The suite's command, cold: a process of its own for one document, its PDF renamed to out.
bool convertCold(const std::string& profile, const std::string& scratch, const BenchCase& c, const std::string& out) {
  const std::string folder = scratch + "/cold-out";
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  fs::create_directories(folder);
  if (!RunQuietly("soffice", {"-env:UserInstallation=file://" + profile, "--headless", "--convert-to", "pdf",
                              "--outdir", folder, c.inputs.front()})) {
    return false;
  }
  const std::string made = folder + "/" + fs::path(c.inputs.front()).stem().string() + ".pdf";
  std::error_code moved;
  fs::rename(made, out, moved);
  return !moved;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const BenchOptions options = ParseBenchOptions(argc, argv, VD_CORPUS_DIR);
  setenv("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR, 0);
  try {
    const ScratchFolder scratch("office");
    const std::string profile = scratch.path() + "/cold-profile";
    std::vector<std::string> documents;
    // The samples with comments (footnote.doc, FloatingPictures.doc) are left out: the warm
    // suite of the headless packages cannot open them (bench/ANALYSIS.md).
    for (const char* file : {"doc/SampleDoc.doc", "doc/HeaderFooterUnicode.doc", "doc/Lists.doc", "doc/Word6.doc",
                             "doc/Word95.doc", "doc/header_image.doc", "doc/table-merges.doc", "doc/word2.doc",
                             "rtf/message.rtf", "rtf/testUnicode.rtf", "rtf/testTextConversion.rtf",
                             "rtf/test437Encoding.rtf", "rtf/test874Encoding.rtf", "html/_mozilla_bug421271_text.html"}) {
      documents.push_back(options.corpus + "/" + file);
    }
    // Today's formats, made once by the suite from six of the documents above.
    const std::pair<const char*, const char*> made[] = {{"doc/SampleDoc.doc", "docx"}, {"doc/Lists.doc", "odt"},
                                                        {"doc/Word6.doc", "docx"},     {"doc/Word95.doc", "odt"},
                                                        {"doc/table-merges.doc", "docx"}, {"doc/header_image.doc", "odt"}};
    const std::string only = onlyClass(argc, argv);
    for (const auto& [file, format] : made) {
      if (!only.empty() && only != kClass) break;
      const std::string input = options.corpus + "/" + file;
      if (!RunQuietly("soffice", {"-env:UserInstallation=file://" + profile, "--headless", "--convert-to", format,
                                  "--outdir", scratch.path(), input})) {
        throw std::runtime_error(std::string("the suite could not make a .") + format + " of " + file);
      }
      documents.push_back(scratch.path() + "/" + fs::path(input).stem().string() + "." + format);
    }
    std::vector<BenchCase> cases;
    const auto add = [&](const std::string& document, const char* sizeClass) {
      if (!only.empty() && only != sizeClass) return;
      const std::string label = document.rfind(options.corpus, 0) == 0 ? document.substr(options.corpus.size() + 1)
                                                                       : fs::path(document).filename().string() +
                                                                             " (made)";
      cases.push_back({label, sizeClass, {document}, FileBytes(document)});
    };
    for (const std::string& document : documents) add(document, kClass);
    add(options.corpus + "/xlsx/123233_charts.xlsx", kWorkbook);
    add(options.corpus + "/pptx/layouts.pptx", kDeck);
    if (cases.empty()) throw std::runtime_error("no case of the class " + only);
    // The converter and the application of the warm export for a case.
    const auto application = [](const BenchCase& c) {
      return c.sizeClass == kWorkbook ? vd::office::kExcel : c.sizeClass == kDeck ? vd::office::kPowerPoint
                                                                                   : vd::office::kWord;
    };

    vd::CreatePDF engine;
    vd::OfficeSuite suite;
    InterleavedRuns runs(
        {Ours([&](const BenchCase& c, const std::string& out) {
           if (c.sizeClass == kWorkbook) {
             vd::ExcelOptions workbook;
             engine.CreatePDFfromExcel(out, c.inputs.front(), workbook);
           } else if (c.sizeClass == kDeck) {
             vd::PowerPointOptions deck;
             engine.CreatePDFfromPowerPoint(out, c.inputs.front(), deck);
           } else {
             vd::WordOptions word;
             engine.CreatePDFfromWord(out, c.inputs.front(), word);
           }
         }),
         {"soffice cold",
          [&](const BenchCase& c, const std::string& out, double&) {
            return convertCold(profile, scratch.path(), c, out);
          }},
         {"UNO export warm",
          [&](const BenchCase& c, const std::string& out, double&) {
            try {
              suite.print(application(c), c.inputs.front(), out, {});
              return true;
            } catch (const std::exception& error) {
              std::fprintf(stderr, "the warm export failed on %s: %s\n", c.label.c_str(), error.what());
              return false;
            }
          }}},
        scratch.path());
    runs.run(cases, options.rounds);

    using Measure = Target::Measure;
    std::vector<Target> targets;
    if (only.empty() || only == kClass) {
      targets = {{"Word → PDF per document against the cold command", Measure::Time, 1, 0.2, {}, kClass},
                 {"Word → PDF per document against the warm UNO export", Measure::Time, 2, 1.5, {}, kClass}};
    }
    Publish(Report("Office documents (CreatePDFfromWord, CreatePDFfromExcel, CreatePDFfromPowerPoint) against the "
                   "office suite's command and its warm export",
                   runs, options.rounds, targets),
            options.markdown);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_office: %s\n", error.what());
    return 1;
  }
  return 0;
}
