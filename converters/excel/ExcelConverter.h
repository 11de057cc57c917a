// Workbooks (CreatePDFfromExcel): a range of a sheet printed by Excel to a file, which the Distiller
// turns into the PDF. Today's workbook formats join the row: as text they would come out as
// the bytes of a zip archive.
#pragma once

#include "converters/Converter.h"

namespace vd {

class ExcelConverter : public ConverterWith<ExcelOptions> {
 public:
  std::string name() const override { return "CreatePDFfromExcel"; }
  std::vector<std::string> extensions() const override;
  ConversionWeight weight() const override { return ConversionWeight::Application; }
  OperationOptions fixedOptions(bool security) const override;

 protected:
  void run(EngineObject& engine, const std::string& strPDFFile, const std::string& strExcelWorkbook,
           ExcelOptions& options) override;
};

}  // namespace vd
