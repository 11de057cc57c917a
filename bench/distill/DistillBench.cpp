// Time per file of CreatePDFfromPS (warm interpreter worker) against the ps2pdf command
// on the same small and medium corpus files.
//
//   bench_distill [runs] [corpus folder]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/CreatePDF.h"

extern char** environ;

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool runPs2pdf(const std::string& in, const std::string& out) {
  char* argv[] = {const_cast<char*>("ps2pdf"), const_cast<char*>(in.c_str()), const_cast<char*>(out.c_str()), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "ps2pdf", nullptr, nullptr, argv, environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string corpus = argc > 2 ? argv[2] : VD_CORPUS_DIR;
  setenv("VELLUMDOCK_HELPER_DIR", VD_BUILD_HELPER_DIR, 0);
  char scratchPattern[] = "/tmp/bench-distill-XXXXXX";
  const std::string scratch = mkdtemp(scratchPattern);

  const std::vector<std::string> files{"ps/alphabet.ps", "ps/colorcir.ps", "ps/snowflak.ps", "ps/waterfal.ps",
                                       "ps/escher.ps",   "eps/golfer.eps", "ps/doretree.ps",  "ps/ps3d.ps"};
  vd::CreatePDF engine;
  // One untimed job each way, so neither side pays for a cold disk cache or the first
  // start of the worker.
  engine.CreatePDFfromPS(scratch + "/warm.pdf", corpus + "/" + files[0]);
  runPs2pdf(corpus + "/" + files[0], scratch + "/warm2.pdf");

  std::printf("%-18s %10s %12s %12s %8s\n", "file", "bytes", "ours (s)", "ps2pdf (s)", "ratio");
  double totalOurs = 0;
  double totalReference = 0;
  for (const auto& file : files) {
    const std::string in = corpus + "/" + file;
    const std::string ours = scratch + "/ours.pdf";
    const std::string reference = scratch + "/reference.pdf";
    double oursSeconds = 0;
    double referenceSeconds = 0;
    for (int run = 0; run < runs; ++run) {
      auto start = std::chrono::steady_clock::now();
      engine.CreatePDFfromPS(ours, in);
      oursSeconds += secondsSince(start);
      start = std::chrono::steady_clock::now();
      if (!runPs2pdf(in, reference)) std::fprintf(stderr, "ps2pdf failed on %s\n", in.c_str());
      referenceSeconds += secondsSince(start);
    }
    if (access(ours.c_str(), F_OK) != 0) std::fprintf(stderr, "no PDF from %s\n", in.c_str());
    oursSeconds /= runs;
    referenceSeconds /= runs;
    totalOurs += oursSeconds;
    totalReference += referenceSeconds;
    FILE* f = std::fopen(in.c_str(), "rb");
    long size = 0;
    if (f != nullptr) {
      std::fseek(f, 0, SEEK_END);
      size = std::ftell(f);
      std::fclose(f);
    }
    std::printf("%-18s %10ld %12.3f %12.3f %8.2f\n", file.c_str(), size, oursSeconds, referenceSeconds,
                oursSeconds / referenceSeconds);
  }
  std::printf("%-18s %10s %12.3f %12.3f %8.2f   (mean per file over %d runs; target <= 0.60)\n", "all", "",
              totalOurs / static_cast<double>(files.size()), totalReference / static_cast<double>(files.size()),
              totalOurs / totalReference, runs);
  return 0;
}
