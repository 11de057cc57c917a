// Image import against img2pdf: its library timed inside one long-lived Python process
// (so its start-up is not counted) and its command line, interleaved on the repository's
// sample images and on large ones made at bench time.
//
//   bench_images [--rounds N] [--markdown FILE] [--corpus FOLDER]
//   bench_images --convert IMAGE PDF     (one conversion, as the bench makes it)
#include <QGuiApplication>
#include <QProcess>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/images/LargeSamples.h"
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

// The img2pdf library inside one Python process that answers each conversion with the
// seconds it took.
class LibraryProcess {
 public:
  LibraryProcess() {
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(pythonProgram(), {QStringLiteral(VD_BENCH_SOURCE_DIR "/images/img2pdf_inprocess.py")});
    if (readLine() != "ready") throw std::runtime_error("the img2pdf library process did not start");
  }
  ~LibraryProcess() {
    process_.closeWriteChannel();
    process_.waitForFinished(10000);
  }
  LibraryProcess(const LibraryProcess&) = delete;
  LibraryProcess& operator=(const LibraryProcess&) = delete;

  // The seconds the library took, as the Python process measured them; nothing when it failed.
  std::optional<double> convert(const std::string& input, const std::string& output) {
    process_.write(QByteArray::fromStdString(input + "\t" + output + "\n"));
    process_.waitForBytesWritten(-1);
    const std::string answer = readLine();
    if (answer.empty() || answer.rfind("error", 0) == 0) return std::nullopt;
    return std::strtod(answer.c_str(), nullptr);
  }

 private:
  // The interpreter the img2pdf command itself runs with, which has the library.
  static QString pythonProgram() {
    std::ifstream command("/usr/bin/img2pdf");
    std::string first;
    std::getline(command, first);
    return first.rfind("#!", 0) == 0 ? QString::fromStdString(first.substr(2)) : QStringLiteral("python3");
  }

  std::string readLine() {
    while (!process_.canReadLine()) {
      if (!process_.waitForReadyRead(-1)) return "error: the library process ended";
    }
    return process_.readLine().trimmed().toStdString();
  }

  QProcess process_;
};

std::vector<BenchCase> sampleCases(const std::string& corpus) {
  const std::vector<std::string> files{
      "jpg/app13-multiple.jpg", "jpg/flower.jpg",       "jpg/pil_sample_cmyk.jpg", "png/basn2c16.png",
      "png/basn3p08.png",       "png/pil123p.png",      "png/pil123rgba.png",      "png/transparent.png",
      "gif/chi.gif",            "gif/dispose_bgnd.gif", "gif/hopper.gif",          "tif/g4-multi.tiff",
      "tif/hopper_g4.tif",      "tif/hopper_jpg.tif",   "tif/hopper_lzw.tif",      "tif/multipage.tiff",
      "tif/total-pages-zero.tif", "bmp/hopper.bmp",     "bmp/pal8rle.bmp",         "rle/hopper_rle8.rle"};
  std::vector<BenchCase> cases;
  for (const std::string& file : files) {
    const std::string path = corpus + "/" + file;
    cases.push_back({file, "sample files", {path}, FileBytes(path)});
  }
  return cases;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication application(argc, argv);
  if (argc == 4 && std::string(argv[1]) == "--convert") {
    try {
      BenchEngine().CreatePDFfromImageFile(argv[3], argv[2]);
      return 0;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
      return 1;
    }
  }
  const BenchOptions options = ParseBenchOptions(argc, argv, VD_CORPUS_DIR);
  try {
    const ScratchFolder scratch("images");
    std::vector<BenchCase> cases = sampleCases(options.corpus);
    std::fprintf(stderr, "making the large images\n");
    for (const SampleFile& file : MakeLargeSamples(options.corpus + "/jpg/flower.jpg", scratch.path())) {
      cases.push_back({file.label, "large (generated)", {file.path}, FileBytes(file.path)});
    }
    BenchEngine engine;
    LibraryProcess library;
    InterleavedRuns runs(
        {Ours([&](const BenchCase& c, const std::string& out) { engine.CreatePDFfromImageFile(out, c.inputs.front()); }),
         {"img2pdf library",
          [&](const BenchCase& c, const std::string& out, double& seconds) {
            const std::optional<double> taken = library.convert(c.inputs.front(), out);
            seconds = taken.value_or(-1);
            return taken.has_value();
          }},
         {"img2pdf command",
          [](const BenchCase& c, const std::string& out, double&) {
            return RunQuietly("img2pdf", {c.inputs.front(), "-o", out});
          }}},
        scratch.path());
    runs.run(cases, options.rounds);

    using Measure = Target::Measure;
    const std::vector<Target> targets{
        {"LZW TIFF → PDF size", Measure::Size, 1, 1.0, {"tif/hopper_lzw.tif", "photo 2400x1600 (LZW TIFF)"}, ""},
        {"CCITT G4 TIFF size", Measure::Size, 1, 1.0,
         {"tif/g4-multi.tiff", "tif/hopper_g4.tif", "fax A4 300 dpi, 10 pages (G4 TIFF)"}, ""},
        {"2100×2100 palette GIF time", Measure::Time, 1, 1.0, {"palette 2100x2100 (GIF)"}, ""},
        {"PNG with alpha time", Measure::Time, 1, 1.0,
         {"png/transparent.png", "png/pil123rgba.png", "photo 2400x1600 with alpha (PNG)"}, ""}};
    Publish(Report("Images (CreatePDFfromImageFile) against img2pdf", runs, options.rounds, targets), options.markdown);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_images: %s\n", error.what());
    return 1;
  }
  return 0;
}
