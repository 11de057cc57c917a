// One way of making a PDF: an operation of the engine's interface (CreatePDFfromWord, the
// joining of PDFs) or a kind of file the scan cycle hands the engine (SVG drawings). Each
// converter lives in a folder of its own under converters/, with whatever stands in for
// its outside application when no other converter shares that, and is registered by one
// line of engine/StandardConverters.cpp; the engine's interface and the scan cycle reach
// it through the registry (converters/ConverterRegistry.h).
#pragma once

#include <string>
#include <vector>

#include "common/EngineError.h"
#include "converters/OperationOptions.h"

namespace vd {

class EngineObject;

// How much work a file of a converter is, roughly, next to the files of the others. A server
// converting several files at once hands out the lighter ones first, so a burst of small
// files does not queue behind documents an application lays out.
enum class ConversionWeight {
  Light,        // done in this process from the file alone (images)
  Interpreted,  // a program run by one of our workers (PostScript, text)
  Application,  // laid out by an application (the office suite), or several files joined
};

// The arguments of one conversion.
struct ConversionCall {
  std::string out;  // the PDF to make
  std::string in;   // the file it is made from; "" for a join, whose files are its options
  // The operation's optional parameters. An operation that changes an argument (a blank
  // strDistiller receives the engine's printer name) changes it here.
  OperationOptions options;
};

class Converter {
 public:
  virtual ~Converter() = default;

  // The engine operation it carries out ("CreatePDFfromWord"); a converter the engine's
  // interface has no operation for names what it converts ("SVG drawing").
  virtual std::string name() const = 0;
  // Its row of the scan cycle's dispatch table: the extensions it takes, in lower case.
  // None for an operation the scan cycle does not choose by extension (the joins).
  virtual std::vector<std::string> extensions() const { return {}; }
  // The row's fixed argument values for a file of the scan cycle, with "Use security" as
  // the operator set it.
  virtual OperationOptions fixedOptions(bool /*security*/) const { return {}; }
  virtual ConversionWeight weight() const { return ConversionWeight::Interpreted; }
  // Makes call.out from call.in with the engine's shared state and steps. Every failure is
  // thrown, as an EngineError once the converter has released what it held.
  virtual void convert(EngineObject& engine, ConversionCall& call) = 0;
};

// A converter whose operation takes options of type Options: run() receives them typed.
template <class Options>
class ConverterWith : public Converter {
 public:
  void convert(EngineObject& engine, ConversionCall& call) final {
    Options* options = std::get_if<Options>(&call.options);
    if (options == nullptr) throw EngineError(name() + " was called with the options of another operation.");
    run(engine, call.out, call.in, *options);
  }

 protected:
  virtual void run(EngineObject& engine, const std::string& strPDFFile, const std::string& input, Options& options) = 0;
};

}  // namespace vd
