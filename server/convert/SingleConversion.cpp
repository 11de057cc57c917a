#include "server/convert/SingleConversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>

#include "common/EngineError.h"
#include "common/JsonText.h"
#include "common/Paths.h"
#include "engine/CreatePDF.h"
#include "server/EngineFactory.h"
#include "server/FailureReason.h"
#include "server/FileConversion.h"
#include "server/PathNames.h"
#include "server/ScanCycle.h"
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

// The engine's error description, or what else was thrown.
std::string reasonOf(const std::exception& error) {
  if (const auto* engineError = dynamic_cast<const EngineError*>(&error)) return engineError->description();
  return error.what();
}

}  // namespace

ConversionOutcome ConvertOneFile(const std::string& output, const std::string& input, bool security,
                                 const RecognitionSettings& recognition,
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
  const TextRecognition pages = RecognitionOf(recognition.languages, recognition.turnUpright, logLine);
  std::unique_ptr<CreatePDF> engine;
  std::optional<std::string> engineProblem;
  try {
    engine = defaultEngineFactory()();
  } catch (const std::exception& error) {
    engineProblem = reasonOf(error);
  }
  const ScriptSurroundings script{folderOf(input),
                                  [] { return false; },
                                  [&](const std::string& why) {
                                    logLine(kUnableToCreatePdf);
                                    logLine(ReasonLine(why));
                                  },
                                  /*replacedPdf=*/{},
                                  /*replacedPdfAside=*/{},
                                  pages};
  const vd::ConversionOutcome converted =
      engineProblem
          ? vd::ConversionOutcome::failed(*engineProblem)
          : ConvertFile(engine.get(), DispatchCall{output, input, GetExtension(fileNameOf(input)), security}, script);
  ConversionOutcome outcome;
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (converted.pdf) {
    outcome.pages = converted.pdf->pages;
    outcome.bytes = converted.pdf->bytes;
  } else {
    outcome.exitCode = kExitFailed;
    outcome.problem = converted.failure.value_or("The conversion failed for an unknown reason.");
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
