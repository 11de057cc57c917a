// Searchable scans: the image operation with text recognition on (warm workers in this
// process, as the scan cycle keeps them) against ocrmypdf with its defaults run on the
// same pictures, interleaved. The pictures are pages of a licence text set and rendered at
// 300 dpi by Ghostscript at bench time; besides the times, each output's words (pdftotext)
// are counted against the words set on its pages, and each side's processor time is
// taken (ours: this process and its recognition workers; the reference: the command and
// everything it started), as the shared machine's load weighs on wall time alone.
//
//   bench_ocr [--rounds N] [--markdown FILE]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/BenchProgram.h"
#include "bench/support/Interleaved.h"
#include "bench/support/Report.h"
#include "engine/CreatePDF.h"
#include "outside/ghostscript/GhostscriptRunner.h"
#include "outside/ocr/TextRecognition.h"
#include "support/TextPages.h"

namespace {

using namespace vd::bench;
using vd::test::ShareFound;
using vd::test::TokensOf;

constexpr const char* kReference = "ocrmypdf";
constexpr const char* kOneThread = "ocrmypdf, one thread";

std::string readAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// Standard output of a program run without a shell.
std::string outputOf(const std::vector<std::string>& command) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return "";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeEnds[1], 1);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  std::string text;
  char buffer[65536];
  for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
  close(pipeEnds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return text;
}

double seconds(const timeval& time) { return static_cast<double>(time.tv_sec) + time.tv_usec / 1e6; }

double processorSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The processor time of a running process (a recognition worker); 0 when none runs.
double processorSecondsOf(pid_t pid) {
  if (pid == 0) return 0;
  std::istringstream stat(readAll("/proc/" + std::to_string(pid) + "/stat"));
  std::string field;
  // Fields 14 and 15 are user and system time; the command (field 2) holds no spaces here.
  for (int i = 1; i <= 13 && stat >> field; ++i) {
  }
  double user = 0, system = 0;
  stat >> user >> system;
  return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double recognitionWorkersSeconds() {
  double total = 0;
  for (std::size_t i = 0; i < vd::RecognitionWorkerCount(); ++i) total += processorSecondsOf(vd::textRecognitionWorker(i).pid());
  return total;
}

struct Page {
  std::string label;
  std::string device;
  std::string extension;
  int pages = 1;
  int quarterTurns = 0;
};

struct Measured {
  std::vector<double> processor;  // seconds a counted round
  double found = -1;             // share of the source's words in the last output
};

class OcrBench {
 public:
  explicit OcrBench(const std::string& scratch) : scratch_(scratch) {
    vd::TextRecognition recognition{"eng", false, [](const std::string& line) {
                                      std::fprintf(stderr, "ours: %s\n", line.c_str());
                                    }};
    engine_ = std::make_unique<vd::CreatePDF>(vd::EngineDetection{"10.0", "Adobe PDF"}, vd::RealStandIns());
    engine_->setTextRecognition(std::move(recognition));
  }

  std::vector<BenchCase> makeCases() {
    const std::vector<std::string> words = vd::test::WordsOf(readAll(VD_CORPUS_DIR "/txt/GPL-3.txt"));
    const std::vector<Page> pages = {
        {"letter page 300 dpi (grey JPEG)", "jpeggray", "jpg", 1, 0},
        {"letter page 300 dpi (G4 fax TIFF)", "tiffg4", "tif", 1, 0},
        {"letter page fed sideways 300 dpi (grey PNG)", "pnggray", "png", 1, 1},
        {"4 letter pages 300 dpi (G4 fax TIFF)", "tiffg4", "tif", 4, 0},
    };
    std::vector<BenchCase> cases;
    for (std::size_t i = 0; i < pages.size(); ++i) {
      vd::test::TextPageLayout layout;
      layout.quarterTurns = pages[i].quarterTurns;
      const vd::test::TextPages set = vd::test::SetTextPages(words, pages[i].pages, layout);
      const std::string source = scratch_ + "/pages-" + std::to_string(i) + ".ps";
      std::ofstream(source) << set.postScript;
      const std::string picture = scratch_ + "/pages-" + std::to_string(i) + "." + pages[i].extension;
      const vd::GhostscriptResult rendered = vd::RunGhostscriptJob(
          {"-sDEVICE=" + pages[i].device, "-r300", "-dTextAlphaBits=4", "-dGraphicsAlphaBits=4"}, source, picture);
      if (!rendered.ok) throw std::runtime_error("Ghostscript did not render " + pages[i].label);
      std::vector<std::string>& tokens = sources_[pages[i].label];
      for (const auto& pageWords : set.pageWords) {
        for (const std::string& word : pageWords) {
          for (std::string& token : TokensOf(word)) tokens.push_back(std::move(token));
        }
      }
      pageCounts_[pages[i].label] = pages[i].pages;
      cases.push_back({pages[i].label, "pages", {picture}, FileBytes(picture)});
    }
    return cases;
  }

  std::vector<Converter> converters() {
    return {measured("ours",
                     [this](const BenchCase& c, const std::string& out) {
                       try {
                         engine_->CreatePDFfromImageFile(out, c.inputs.front());
                         return true;
                       } catch (const std::exception& error) {
                         std::fprintf(stderr, "ours failed on %s: %s\n", c.label.c_str(), error.what());
                         return false;
                       }
                     }),
            measured(kReference, [](const BenchCase& c, const std::string& out) {
              return RunQuietly(kReference, {c.inputs.front(), out});
            }),
            // Its recogniser's threads wait for each other at every step, which a busy
            // machine punishes; with one thread it shows what it costs at its best.
            measured(kOneThread, [](const BenchCase& c, const std::string& out) {
              return RunQuietly("env", {"OMP_THREAD_LIMIT=1", kReference, c.inputs.front(), out});
            })};
  }

  // Seconds a page, processor time a page and words found, ours against each reference.
  std::string table(const InterleavedRuns& runs) const {
    std::ostringstream out;
    out << "Per page (wall time: medians of the rounds; processor time: ours counts this process and its\n"
           "recognition workers, a reference its command and everything it started). Words: the share of\n"
           "the words set on the pages (letters and digits, counted as a multiset) that pdftotext finds in\n"
           "the last round's output.\n\n";
    out << "| case | converter | s/page | time ratio | CPU s/page | CPU ratio | words |\n";
    out << "|---|---|---|---|---|---|---|\n";
    for (std::size_t i = 0; i < runs.cases().size(); ++i) {
      const std::string& label = runs.cases()[i].label;
      const double pages = pageCounts_.at(label);
      const auto perPage = [&](const std::vector<double>& values) {
        return values.empty() ? 0.0 : SpreadOf(values).median / pages;
      };
      const auto wallOf = [&](std::size_t c) {
        return runs.outcome(i, c).failed ? 0.0 : perPage(runs.outcome(i, c).seconds);
      };
      const auto cpuOf = [&](std::size_t c) { return perPage(measuredOf(runs.converters()[c].name, label).processor); };
      for (std::size_t c = 0; c < runs.converters().size(); ++c) {
        const std::string& name = runs.converters()[c].name;
        out << "| " << (c == 0 ? label + " (" + std::to_string(static_cast<int>(pages)) + " p.)" : "") << " | " << name
            << " | " << number(wallOf(c)) << " | " << (c == 0 ? "" : ratio(wallOf(0), wallOf(c))) << " | "
            << number(cpuOf(c)) << " | " << (c == 0 ? "" : ratio(cpuOf(0), cpuOf(c))) << " | "
            << share(measuredOf(name, label).found) << " |\n";
      }
    }
    out << "\n";
    return out.str();
  }

 private:
  static std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return value > 0 ? text : "-";
  }
  static std::string ratio(double ours, double theirs) {
    return ours > 0 && theirs > 0 ? number(ours / theirs) + "×" : "-";
  }
  const Measured& measuredOf(const std::string& converter, const std::string& label) const {
    static const Measured none;
    const auto byConverter = measured_.find(converter);
    if (byConverter == measured_.end()) return none;
    const auto byCase = byConverter->second.find(label);
    return byCase == byConverter->second.end() ? none : byCase->second;
  }
  static std::string share(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", value * 100);
    return value >= 0 ? text : "-";
  }

  // A converter whose processor time and words found are kept besides its wall time.
  Converter measured(const std::string& name, std::function<bool(const BenchCase&, const std::string&)> convert) {
    return {name, [this, name, convert](const BenchCase& c, const std::string& out, double&) {
              const double before = processorSeconds(RUSAGE_SELF) + processorSeconds(RUSAGE_CHILDREN) +
                                    recognitionWorkersSeconds();
              const bool converted = convert(c, out);
              const double after = processorSeconds(RUSAGE_SELF) + processorSeconds(RUSAGE_CHILDREN) +
                                   recognitionWorkersSeconds();
              Measured& kept = measured_[name][c.label];
              // The uncounted first conversion (models loaded, caches filled) is not kept.
              const bool warmUp = warmedUp_.insert(name).second;
              if (converted && !warmUp) {
                kept.processor.push_back(after - before);
                kept.found = ShareFound(sources_[c.label], TokensOf(outputOf({"pdftotext", out, "-"})));
              }
              return converted;
            }};
  }

  std::string scratch_;
  std::unique_ptr<vd::CreatePDF> engine_;
  std::map<std::string, std::vector<std::string>> sources_;
  std::map<std::string, int> pageCounts_;
  std::map<std::string, std::map<std::string, Measured>> measured_;
  std::set<std::string> warmedUp_;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR, 0);
  QGuiApplication application(argc, argv);
  const BenchOptions options = ParseBenchOptions(argc, argv, VD_CORPUS_DIR);
  const std::string title = "Searchable scans (CreatePDFfromImageFile with OCR) against ocrmypdf";
  if (!RunQuietly(kReference, {"--version"})) {
    Publish("## " + title + "\n\nSkipped: the reference program ocrmypdf is not installed (it is for the benchmark only:\n"
            "`apt-get install ocrmypdf`).\n\n",
            options.markdown);
    return 0;
  }
  try {
    const ScratchFolder scratch("ocr");
    OcrBench bench(scratch.path());
    std::fprintf(stderr, "rendering the pages\n");
    const std::vector<BenchCase> cases = bench.makeCases();
    InterleavedRuns runs(bench.converters(), scratch.path());
    runs.run(cases, options.rounds);
    std::vector<std::string> labels;
    for (const BenchCase& c : cases) labels.push_back(c.label);
    const std::vector<Target> targets{{"time at most half the reference's", Target::Measure::Time, 1, 0.5, labels, ""}};
    Publish(Report(title, runs, options.rounds, targets) + bench.table(runs), options.markdown);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_ocr: %s\n", error.what());
    return 1;
  }
  return 0;
}
