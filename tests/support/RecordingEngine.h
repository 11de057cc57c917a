// A conversion engine for the server's tests: the standard converters' rows and fixed
// arguments, each converter replaced by one that records its calls with their files and
// main options in call order and, depending on the input's extension, writes a small real
// PDF (one page "Converted <input name>"), writes nothing, or raises an engine error.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "engine/CreatePDF.h"
#include "engine/StandardConverters.h"
#include "server/EngineFactory.h"
#include "server/PathNames.h"
#include "support/ContentChecks.h"

namespace vd::test {

struct EngineCall {
  std::string operation;
  // "name=value": the output, the input, then the options a test looks at (describeOptions).
  std::vector<std::string> arguments;
  // The text of the first argument (the output) and of the second (the input).
  std::string out() const { return text(0); }
  std::string in() const { return text(1); }
  std::string text(std::size_t index) const {
    const std::string argument = index < arguments.size() ? arguments[index] : std::string();
    const auto start = argument.find("=\"");
    return start == std::string::npos ? std::string() : argument.substr(start + 2, argument.size() - start - 3);
  }
};

enum class EngineOutcome { WritePdf, WriteNothing, Raise };

// What every recording engine of one test shares: the calls, the outcome per extension
// and a hook run inside each call (after recording, before the outcome).
struct EngineScript {
  std::vector<EngineCall> calls;
  std::map<std::string, EngineOutcome> outcomeByExtension;  // default: WritePdf
  std::function<void(const EngineCall&)> duringCall;
  int enginesCreated = 0;
  int enginesAlive = 0;
  std::vector<std::string> tempFilePaths;  // every TempFilePath written
};

namespace recorded {

inline std::string arg(const std::string& name, const std::string& value) { return name + "=\"" + value + "\""; }

}  // namespace recorded

// The options of a call that tests look at, as "name=value" arguments: the files a join
// takes, and whether security is applied where the options carry that choice (last).
inline std::vector<std::string> describeOptions(const OperationOptions& options) {
  std::vector<std::string> into;
  if (const auto* list = std::get_if<PathArray>(&options)) {
    for (const std::string& item : list->items) into.push_back(recorded::arg("varPDFFiles", item));
  }
  std::visit(
      [&into](const auto& given) {
        if constexpr (std::is_base_of_v<DistillingOptions, std::decay_t<decltype(given)>>) {
          into.push_back(std::string("blnApplySecurity=") + (given.blnApplySecurity ? "true" : "false"));
        }
      },
      options);
  return into;
}

// Stands in the place of a standard converter, with its name, row and fixed arguments, and
// records each call instead of converting.
class RecordingConverter : public Converter {
 public:
  RecordingConverter(std::unique_ptr<Converter> real, EngineScript& script) : real_(std::move(real)), script_(script) {}

  std::string name() const override { return real_->name(); }
  std::vector<std::string> extensions() const override { return real_->extensions(); }
  OperationOptions fixedOptions(bool security) const override { return real_->fixedOptions(security); }

  void convert(EngineObject&, ConversionCall& call) override {
    std::vector<std::string> arguments{recorded::arg("strPDFFile", call.out)};
    if (!call.in.empty()) arguments.push_back(recorded::arg("input", call.in));
    for (std::string& option : describeOptions(call.options)) arguments.push_back(std::move(option));
    // A join has no input of its own: its output stands for it.
    perform(name(), call.out, call.in.empty() ? call.out : call.in, std::move(arguments));
  }

 private:
  void perform(const std::string& operation, const std::string& out, const std::string& in,
               std::vector<std::string> arguments) {
    script_.calls.push_back(EngineCall{operation, std::move(arguments)});
    if (script_.duringCall) script_.duringCall(script_.calls.back());
    const std::string name = in.substr(in.find_last_of('/') + 1);
    const auto rule = script_.outcomeByExtension.find(GetExtension(name));
    const EngineOutcome outcome = rule == script_.outcomeByExtension.end() ? EngineOutcome::WritePdf : rule->second;
    if (outcome == EngineOutcome::Raise) throw EngineError(operation + " could not convert " + in + ".");
    if (outcome == EngineOutcome::WriteNothing) return;
    try {
      MakeTextPdf(out, {"Converted " + name});
    } catch (const std::exception&) {
      throw EngineError("File " + out + " cannot be written.");
    }
  }

  std::unique_ptr<Converter> real_;
  EngineScript& script_;
};

// The standard converters, each recording in script.
inline ConverterRegistry RecordingConverters(EngineScript& script) {
  ConverterRegistry converters = StandardConverters();
  converters.wrapEach([&script](std::unique_ptr<Converter> real) -> std::unique_ptr<Converter> {
    return std::make_unique<RecordingConverter>(std::move(real), script);
  });
  return converters;
}

// Neither the registry nor any stand-in: every converter records.
class RecordingEngine : public CreatePDF {
 public:
  explicit RecordingEngine(EngineScript& script)
      : CreatePDF(EngineDetection{}, StandInFactories{}, RecordingConverters(script)), script_(script) {
    ++script_.enginesCreated;
    ++script_.enginesAlive;
  }
  ~RecordingEngine() {
    --script_.enginesAlive;
    script_.tempFilePaths.push_back(TempFilePath());
  }

 private:
  EngineScript& script_;
};

// A factory for the server that makes recording engines sharing script.
inline EngineFactory RecordingEngineFactory(EngineScript& script) {
  return [&script] { return std::make_unique<RecordingEngine>(script); };
}

}  // namespace vd::test
