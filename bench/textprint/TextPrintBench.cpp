// CreatePDFfromTextFile3 (the text printer on the Distiller printer, its dialogs answered by
// the keystroke helper) against paps and enscript, each followed by ps2pdf, interleaved, on
// the repository's text samples, a 10,000-line text and a 5 MB text made at bench time. Our
// time counts only what lies beyond the two one-second pauses of the wait for the printed PDF.
//
//   bench_textprint [--rounds N] [--markdown FILE] [--corpus FOLDER]
#include <QCoreApplication>
#include <QProcess>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/BenchProgram.h"
#include "bench/support/Interleaved.h"
#include "bench/support/Report.h"
#include "engine/CreatePDF.h"
#include "platform/PrintSubsystem.h"

namespace {

using namespace vd::bench;

constexpr double kSettlePauses = 2.0;
// paps sets each glyph as a drawing of its own: on 5 MB its PostScript grows past 30 MB and
// ps2pdf's PDF past 400 MB in over twenty minutes. That case goes without it.
const std::string kFiveMegabytes = "5 MB (generated)";

// A world of the bench's own: settings, registry hives and printers in the scratch folder,
// the Distiller printer installed by the set-up, and another printer as the user's default.
void makeWorld(const std::string& root) {
  for (const char* folder : {"home", "config", "data", "state", "runtime", "machine"}) {
    const std::filesystem::path path = root + "/" + folder;
    std::filesystem::create_directories(path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
  }
  setenv("HOME", (root + "/home").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (root + "/runtime").c_str(), 1);
  setenv("VELLUMDOCK_MACHINE_DIR", (root + "/machine").c_str(), 1);
  setenv("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR, 0);
  if (!RunQuietly(VD_BUILD_PROGRAM_DIR "/vellumdk-setup", {})) throw std::runtime_error("vellumdk-setup failed");
  if (!vd::printSubsystem().installPrinter(vd::PrinterRecord{"Laser", "winspool", "Ne00:", vd::PRINTER_ATTRIBUTE_DEFAULT})) {
    throw std::runtime_error("cannot install the default printer");
  }
}

// program's standard output into a PostScript file, which ps2pdf turns into output.
bool throughPs2pdf(const std::string& program, const QStringList& arguments, const std::string& output) {
  const std::string postScript = output + ".ps";
  QProcess process;
  process.setStandardOutputFile(QString::fromStdString(postScript));
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start(QString::fromStdString(program), arguments);
  const bool made = process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit &&
                    process.exitCode() == 0 && RunQuietly("ps2pdf", {postScript, output});
  std::remove(postScript.c_str());
  return made;
}

// Numbered lines until the file holds at least bytes.
void writeNumberedLines(const std::string& path, int lines, long long bytes = 0) {
  std::ofstream out(path, std::ios::binary);
  for (int line = 1; line <= lines || out.tellp() < bytes; ++line) {
    out << "Line " << line << ": the quick brown fox jumps over the lazy dog\r\n";
  }
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const BenchOptions options = ParseBenchOptions(argc, argv, VD_CORPUS_DIR);
  try {
    const ScratchFolder scratch("textprint");
    makeWorld(scratch.path() + "/world");
    std::vector<BenchCase> cases;
    std::vector<std::string> smallFiles;
    for (const char* file : {"txt/GPL-3.txt", "txt/UTF-8-demo.txt", "txt/iso-8859-1_ude_2.txt", "txt/make.bat",
                             "txt/54686_fraction_formats.txt"}) {
      const std::string path = options.corpus + "/" + file;
      cases.push_back({file, "small (≤ 40 KB)", {path}, FileBytes(path)});
      smallFiles.emplace_back(file);
    }
    const std::string numbered = scratch.path() + "/numbered.txt";
    writeNumberedLines(numbered, 10000);
    cases.push_back({"10,000 lines (generated)", "large", {numbered}, FileBytes(numbered)});
    const std::string fiveMegabytes = scratch.path() + "/five-megabytes.txt";
    writeNumberedLines(fiveMegabytes, 0, 5'000'000);
    cases.push_back({kFiveMegabytes, "5 MB", {fiveMegabytes}, FileBytes(fiveMegabytes)});

    vd::CreatePDF engine;
    const Converter ours{"ours", [&](const BenchCase& c, const std::string& out, double& seconds) {
                           try {
                             vd::TextFileOptions textOptions;
                             const auto start = std::chrono::steady_clock::now();
                             engine.CreatePDFfromTextFile3(out, c.inputs.front(), textOptions);
                             seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() -
                                       kSettlePauses;
                             return true;
                           } catch (const std::exception& error) {
                             std::fprintf(stderr, "ours failed on %s: %s\n", c.label.c_str(), error.what());
                             return false;
                           }
                         }};
    InterleavedRuns runs(
        {ours,
         {"paps+ps2pdf",
          [](const BenchCase& c, const std::string& out, double&) {
            if (c.label == kFiveMegabytes) return false;
            return throughPs2pdf("paps", {"--font=Monospace 10", "--header", QString::fromStdString(c.inputs.front())},
                                 out);
          }},
         {"enscript+ps2pdf",
          [](const BenchCase& c, const std::string& out, double&) {
            return throughPs2pdf("enscript", {"-q", "-p", "-", QString::fromStdString(c.inputs.front())}, out);
          }}},
        scratch.path());
    runs.run(cases, options.rounds);

    using Measure = Target::Measure;
    // paps typesets Unicode text with embedded fonts, as ours does; enscript sets Latin-1
    // in the printer's built-in Courier, embedding nothing, the quickest there is.
    const std::vector<Target> targets{
        {"text → PDF beyond the settle pauses, each small file and their sum, against paps", Measure::Time, 1, 1.5,
         smallFiles, "small (≤ 40 KB)"},
        {"text → PDF beyond the settle pauses, 10,000 lines, against paps", Measure::Time, 1, 1.5,
         {"10,000 lines (generated)"}, ""},
        {"text → PDF beyond the settle pauses, 10,000 lines, against enscript", Measure::Time, 2, 2.0,
         {"10,000 lines (generated)"}, ""},
        {"text → PDF, 5 MB, beyond the settle pauses (the whole conversion within 25 s)", Measure::Seconds, 0, 23.0,
         {kFiveMegabytes}, ""}};
    Publish(Report("Text files (CreatePDFfromTextFile3) against paps and enscript", runs, options.rounds, targets),
            options.markdown);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_textprint: %s\n", error.what());
    return 1;
  }
  return 0;
}
