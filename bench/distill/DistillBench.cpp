// CreatePDFfromPS (warm interpreter worker) against plain gs and the ps2pdf command,
// interleaved, on the repository's small PostScript and EPS samples and on a 200-page
// PostScript document made at bench time; and against what the file alone costs in a gs
// already started ("gs started"), the floor below which no interpreter of the file can go.
//
//   bench_distill [--rounds N] [--markdown FILE] [--corpus FOLDER]
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/BenchProgram.h"
#include "bench/support/Interleaved.h"
#include "bench/support/Report.h"
#include "engine/CreatePDF.h"

namespace {

using namespace vd::bench;

// Pages of set text with a little line art each, in DSC structure, as a word processor's
// printer driver would send them.
void writeLongDocument(const std::string& path, int pages) {
  std::ofstream out(path, std::ios::binary);
  out << "%!PS-Adobe-3.0\n%%Title: long document\n%%Pages: " << pages << "\n%%BoundingBox: 0 0 595 842\n"
      << "%%EndComments\n%%BeginProlog\n/F { findfont exch scalefont setfont } bind def\n%%EndProlog\n";
  for (int page = 1; page <= pages; ++page) {
    out << "%%Page: " << page << ' ' << page << "\n";
    out << "14 /Helvetica-Bold F 72 780 moveto (Chapter " << (page + 9) / 10 << ", page " << page << ") show\n";
    out << "10 /Times-Roman F\n";
    for (int line = 0; line < 56; ++line) {
      out << "72 " << 750 - line * 12 << " moveto (Line " << line + 1
          << ": the quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs.) show\n";
    }
    out << "gsave 0.2 setlinewidth 0 0.3 0.6 setrgbcolor 400 60 moveto ";
    for (int segment = 0; segment < 12; ++segment) {
      out << 400 + segment * 10 << ' ' << 60 + (segment * page) % 40 << " lineto ";
    }
    out << "stroke grestore\nshowpage\n";
  }
  out << "%%EOF\n";
  if (!out) throw std::runtime_error("cannot write " + path);
}

// The time a file adds to a gs already started: one gs run with the file given once and one
// with it given kCopies times, the difference over the extra copies. That is the least any
// program that interprets the file itself can take, start-up aside, and less than a job's
// own: the later copies find the fonts, colour links and images the first one loaded, and
// one output file is finished for all of them.
constexpr int kCopies = 4;

bool timeInStartedGs(const BenchCase& c, const std::string& out, double& seconds) {
  const std::vector<std::string> common{"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite"};
  const auto timed = [&](const std::string& output, int copies, double& took) {
    std::vector<std::string> arguments = common;
    arguments.push_back("-sOutputFile=" + output);
    for (int i = 0; i < copies; ++i) arguments.push_back(c.inputs.front());
    const auto start = std::chrono::steady_clock::now();
    const bool ran = RunQuietly("gs", arguments);
    took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ran;
  };
  double once = 0;
  double many = 0;
  if (!timed(out, 1, once) || !timed(out + ".copies.pdf", kCopies, many)) return false;
  std::remove((out + ".copies.pdf").c_str());
  seconds = std::max(0.0, (many - once) / (kCopies - 1));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const BenchOptions options = ParseBenchOptions(argc, argv, VD_CORPUS_DIR);
  setenv("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR, 0);
  try {
    const ScratchFolder scratch("distill");
    std::vector<BenchCase> cases;
    std::vector<std::string> smallFiles;
    for (const char* file : {"ps/alphabet.ps", "ps/colorcir.ps", "ps/doretree.ps", "ps/escher.ps", "ps/ps3d.ps",
                             "ps/snowflak.ps", "ps/waterfal.ps", "eps/golfer.eps", "eps/ridt91.eps"}) {
      const std::string path = options.corpus + "/" + file;
      cases.push_back({file, "small (≤ 150 KB)", {path}, FileBytes(path)});
      smallFiles.emplace_back(file);
    }
    const std::string longDocument = scratch.path() + "/long.ps";
    writeLongDocument(longDocument, 200);
    cases.push_back({"200 pages (generated)", "large", {longDocument}, FileBytes(longDocument)});

    vd::CreatePDF engine;
    InterleavedRuns runs(
        {Ours([&](const BenchCase& c, const std::string& out) { engine.CreatePDFfromPS(out, c.inputs.front()); }),
         {"gs",
          [](const BenchCase& c, const std::string& out, double&) {
            return RunQuietly("gs", {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite", "-sOutputFile=" + out,
                                     c.inputs.front()});
          }},
         {"ps2pdf",
          [](const BenchCase& c, const std::string& out, double&) {
            return RunQuietly("ps2pdf", {c.inputs.front(), out});
          }},
         {"gs started", timeInStartedGs}},
        scratch.path());
    runs.run(cases, options.rounds);

    using Measure = Target::Measure;
    const std::vector<Target> targets{
        {"PostScript → PDF, each small file and their sum", Measure::Time, 1, 0.12, smallFiles, "small (≤ 150 KB)"},
        {"PostScript → PDF, 200 pages", Measure::Time, 1, 0.5, {"200 pages (generated)"}, ""}};
    Publish(Report("PostScript (CreatePDFfromPS) against gs and ps2pdf", runs, options.rounds, targets),
            options.markdown);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_distill: %s\n", error.what());
    return 1;
  }
  return 0;
}
