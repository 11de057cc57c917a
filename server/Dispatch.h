// The choice of engine operation for one listed file: the engine's converters form the
// table's rows, each a set of extensions and the operation it carries out with the row's
// fixed argument values (converters/, in the order of engine/StandardConverters.cpp); a
// script file is run here. The scan cycle and the script run convert through the same table.
#pragma once

#include <string>

#include "converters/Converter.h"
#include "server/ScriptRun.h"

namespace vd {

class CreatePDF;

struct DispatchCall {
  std::string out;  // the output path chosen by the scan cycle
  std::string in;   // the input path
  std::string ext;  // GetExtension of the listed name
  bool security = false;  // "Use security" at the moment of the call
};

// Calls the engine operation of the extension's row with the row's arguments; an
// extension of no row, "scr" included, goes to the text-file converter. A Distiller job
// that failed in the operation (no PDF, its log written) raises the reason its log gives.
void ConvertWithEngine(CreatePDF& engine, const DispatchCall& call);

// The converter a file of that extension goes to, as counts and reports name it: its
// operation ("CreatePDFfromImageFile", "CreatePDFfromPS", ...), "script" for a script file.
std::string ConverterName(const std::string& ext);
// How much work a file of that extension is (Converter::weight); a script file joins
// several documents and weighs as an application's.
ConversionWeight WeightOf(const std::string& ext);

// Calls exactly one engine operation, or runs the script (extension "scr") with
// scriptContext. Whatever the operation raises passes through. Returns StopRequested
// only when a script run found a stop.
ScriptRunEnd Dispatch(CreatePDF& engine, const DispatchCall& call, ScriptRunContext& scriptContext);

}  // namespace vd
