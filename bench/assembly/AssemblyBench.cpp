// Joining PDFs (CreatePDFfromMultiPDF) against qpdf's own command line, interleaved, on
// many small documents and on a few long ones made at bench time.
//
//   bench_assembly [--rounds N] [--markdown FILE]
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "bench/support/BenchProgram.h"
#include "bench/support/Interleaved.h"
#include "bench/support/Report.h"
#include "engine/CreatePDF.h"

namespace {

using namespace vd::bench;

// The engine of a recent viewer.
class BenchEngine : public vd::CreatePDF {
 public:
  BenchEngine() : CreatePDF(vd::EngineDetection{"10.0"}) {}
};

// Letter pages of forty lines of text each.
void makePdf(const std::string& path, int pages) {
  QPDF document;
  document.emptyPDF();
  QPDFObjectHandle font = document.makeIndirectObject(
      QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
  for (int i = 0; i < pages; ++i) {
    QPDFObjectHandle page = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 612 792] /Resources << /Font << >> >> >>");
    page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
    std::string content;
    for (int line = 0; line < 40; ++line) {
      content += "BT /F1 11 Tf 72 " + std::to_string(740 - line * 16) + " Td (Line " + std::to_string(line) +
                 " of page " + std::to_string(i) + ") Tj ET\n";
    }
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&document, content));
    QPDFPageDocumentHelper(document).addPage(QPDFPageObjectHelper(document.makeIndirectObject(page)), false);
  }
  QPDFWriter writer(document, path.c_str());
  writer.write();
}

BenchCase documents(const std::string& folder, const std::string& label, const std::string& sizeClass, int count,
                    int (*pagesOf)(int)) {
  BenchCase joined{label, sizeClass, {}, 0};
  for (int i = 0; i < count; ++i) {
    const std::string path = folder + "/" + std::to_string(count) + "-" + std::to_string(i) + ".pdf";
    makePdf(path, pagesOf(i));
    joined.inputs.push_back(path);
    joined.inputBytes += FileBytes(path);
  }
  return joined;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const BenchOptions options = ParseBenchOptions(argc, argv, "");
  const ScratchFolder scratchFolder("join");
  const std::string& scratch = scratchFolder.path();

  const std::vector<BenchCase> cases{
      documents(scratch, "2 one-page PDFs", "small", 2, [](int) { return 1; }),
      documents(scratch, "100 PDFs of 1 to 5 pages", "small", 100, [](int i) { return 1 + i % 5; }),
      documents(scratch, "5 PDFs of 200 pages", "large", 5, [](int) { return 200; })};
  BenchEngine engine;
  InterleavedRuns runs(
      {Ours([&](const BenchCase& c, const std::string& out) {
         vd::PathArray list;
         list.items = c.inputs;
         engine.CreatePDFfromMultiPDF(out, list);
       }),
       {"qpdf",
        [](const BenchCase& c, const std::string& out, double&) {
          std::vector<std::string> arguments{"--empty", "--pages"};
          arguments.insert(arguments.end(), c.inputs.begin(), c.inputs.end());
          arguments.insert(arguments.end(), {"--", out});
          return RunQuietly("qpdf", arguments);
        }}},
      scratch);
  runs.run(cases, options.rounds);
  Publish(Report("Joining PDFs (CreatePDFfromMultiPDF) against qpdf", runs, options.rounds, {}), options.markdown);
  return 0;
}
