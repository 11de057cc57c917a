#include "server/convert/SingleConversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <optional>

#include "common/IgnoringErrors.h"
#include "common/JsonText.h"
#include "common/Paths.h"
#include "engine/CreatePDF.h"
#include "engine/EngineError.h"
#include "outside/acrobat/PdfWholeness.h"
#include "outside/StandInFactories.h"
#include "server/Dispatch.h"
#include "server/EngineFactory.h"
#include "server/PathNames.h"
#include "server/FailureReason.h"
#include "server/ScanCycle.h"
#include "server/ScriptRun.h"
#include "server/convert/ConvertCommand.h"

namespace vd::convert {
namespace {

ConversionOutcome failure(int exitCode, std::string problem) {
  ConversionOutcome outcome;
  outcome.exitCode = exitCode;
  outcome.problem = std::move(problem);
  return outcome;
}

std::optional<struct stat> statusOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  return status;
}

// A PDF whose writer stopped early lacks its closing "%%EOF"; qpdf would repair it
// silently, so the end is looked at first.
bool endsLikeAPdf(const std::string& path, std::uint64_t bytes) {
  std::ifstream file(path, std::ios::binary);
  const std::uint64_t tail = bytes < 1024 ? bytes : 1024;
  file.seekg(static_cast<std::streamoff>(bytes - tail));
  std::string end(tail, '\0');
  file.read(end.data(), static_cast<std::streamsize>(tail));
  return file && end.find("%%EOF") != std::string::npos;
}

// The engine's error description, or what else was thrown.
std::string reasonOf(const std::exception& error) {
  if (const auto* engineError = dynamic_cast<const EngineError*>(&error)) return engineError->description();
  return error.what();
}

}  // namespace

ConversionOutcome ConvertOneFile(const std::string& output, const std::string& input, bool security,
                                 const std::function<void(const std::string&)>& logLine) {
  const std::optional<struct stat> inputStatus = statusOf(input);
  if (!inputStatus) return failure(kExitNoInput, input + ": " + std::strerror(errno));
  if (!S_ISREG(inputStatus->st_mode)) return failure(kExitNoInput, input + ": not a regular file");
  if (access(input.c_str(), R_OK) != 0) return failure(kExitNoInput, input + ": " + std::strerror(errno));
  const std::optional<struct stat> outputBefore = statusOf(output);
  if (outputBefore && outputBefore->st_dev == inputStatus->st_dev && outputBefore->st_ino == inputStatus->st_ino) {
    return failure(kExitUsage, output + ": is the input itself");
  }

  const auto started = std::chrono::steady_clock::now();
  std::optional<std::string> problem;
  try {
    std::unique_ptr<CreatePDF> engine = defaultEngineFactory()();
    ScriptRunContext scriptContext{*engine, folderOf(input), [] { return false; },
                                   [&](const std::string& why) {
                                     logLine(kUnableToCreatePdf);
                                     logLine(ReasonLine(why));
                                   },
                                   /*replacedPdf=*/{}, /*replacedPdfAside=*/{}};
    const DispatchCall call{output, input, GetExtension(fileNameOf(input)), security};
    Dispatch(*engine, call, scriptContext);
  } catch (const std::exception& error) {
    problem = reasonOf(error);
  } catch (...) {
    problem = "The conversion failed for an unknown reason.";
  }
  ConversionOutcome outcome;
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  if (!problem) {
    const std::optional<struct stat> written = statusOf(output);
    const bool rewritten = written && (!outputBefore || written->st_mtim.tv_sec != outputBefore->st_mtim.tv_sec ||
                                       written->st_mtim.tv_nsec != outputBefore->st_mtim.tv_nsec ||
                                       written->st_size != outputBefore->st_size);
    if (!written || written->st_size == 0 || !rewritten) {
      problem = "No PDF was created: " + output + " does not exist, is empty or was not written.";
    } else {
      outcome.bytes = static_cast<std::uint64_t>(written->st_size);
      if (!endsLikeAPdf(output, outcome.bytes) || WhyPdfIsNotWhole(output)) {
        problem = output + " is not a complete PDF.";
      } else if (std::unique_ptr<AcroPDDoc> document = RealStandIns().pdfDocument(); document->Open(output)) {
        // A PDF protected by an open password is whole but can't be opened to count its pages.
        outcome.pages = document->GetNumPages();
        document->Close();
      }
    }
  }
  if (problem) {
    // What this run left behind is no PDF; a file that was there before stays.
    if (!outputBefore) ignoringErrors([&] { std::remove(output.c_str()); });
    outcome.exitCode = kExitFailed;
    outcome.problem = *problem;
  }
  return outcome;
}

std::string OutcomeJson(const std::string& output, const ConversionOutcome& outcome) {
  std::string json = "{\"output\": ";
  appendJsonString(json, output);
  char numbers[128];
  std::snprintf(numbers, sizeof numbers, ", \"pages\": %d, \"bytes\": %llu, \"seconds\": %.3f}",
                static_cast<int>(outcome.pages), static_cast<unsigned long long>(outcome.bytes), outcome.seconds);
  return json + numbers;
}

}  // namespace vd::convert
