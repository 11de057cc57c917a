// Which engine operation each listed file reaches, with exactly which argument values.
#include <map>

#include "ScanCycleFixture.h"

namespace vd::test {
namespace {

using Arguments = std::vector<std::string>;

class DispatchTest : public ScanCycleFixture {
 protected:
  // Runs one pass over the given names and returns the calls by input name.
  std::map<std::string, EngineCall> convert(const std::vector<std::string>& names, bool security) {
    pump = ScriptedEventPump{};
    engine.calls.clear();
    ScanSettings withSecurity = settings();
    withSecurity.security = security;
    for (const std::string& name : names) WriteSettledFile(in(name), "content of " + name);
    runPasses(withSecurity, 1);
    std::map<std::string, EngineCall> byName;
    for (const EngineCall& call : engine.calls) {
      for (const std::string& name : names) {
        if (call.arguments.at(1) == q(nameOfInput(call.operation), in(name))) byName[name] = call;
      }
    }
    EXPECT_EQ(byName.size(), names.size());
    EXPECT_EQ(engine.calls.size(), names.size());
    return byName;
  }
  static std::string nameOfInput(const std::string& operation) {
    static const std::map<std::string, std::string> names = {
        {"CreatePDFfromPS", "strPSFile"},           {"CreatePDFfromExcel", "strExcelWorkbook"},
        {"CreatePDFfromPowerPoint", "strPPDocument"}, {"CreatePDFfromWord", "strWordDocument"},
        {"CreatePDFfromPub", "strPubFile"},         {"CreatePDFfromAutoCAD", "strDWGFile"},
        {"CreatePDFfromTextFile3", "strTextFile"},  {"CreatePDFfromCrystalReport", "strCrystalReport"},
        {"CreatePDFfromVisio", "strVisioFile"},     {"CreatePDFfromImageFile", "strImagefile"}};
    return names.at(operation);
  }
  static std::string q(const std::string& name, const std::string& value) { return name + "=\"" + value + "\""; }
  static Arguments distilling(bool security) {
    return {"strDistiller=\"\"", "blnShowWindow=false", "blnSpoolJobs=false", "strJobOptionsFile=\"\"",
            std::string("blnApplySecurity=") + (security ? "true" : "false")};
  }
  static Arguments join(Arguments head, const Arguments& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  }
};

TEST_F(DispatchTest, EveryRowGetsItsOperationAndFixedArguments) {
  // The operation and the arguments after the output and input of each row; the text row
  // also takes every extension outside the table, and names without one.
  const std::map<std::string, std::pair<std::string, Arguments>> rows = {
      {"archive.tar.ps", {"CreatePDFfromPS", distilling(false)}},
      {"Q1.XLS",
       {"CreatePDFfromExcel",
        join({"varExcelWorksheet=omitted", "strRange=\"\"", "strPassword=\"\"", "strWriteResPassword=\"\"",
              "blnUseGrid=false", "blnLandscape=false", "strHeader=\"\"", "lngHeaderAlignment=1", "strFooter=\"\"",
              "lngFooterAlignment=0", "dblTopMargin=0", "dblLeftMargin=0", "dblRightMargin=0", "dblBottomMargin=0",
              "dblHeaderMargin=0", "dblFooterMargin=0", "lngFirstPageNumber=1"},
             distilling(true))}},
      {"deck.ppt",
       {"CreatePDFfromPowerPoint",
        join({"lngStartSlide=-1", "lngEndSlide=-1", "blnHorizontalOrientation=false"}, distilling(true))}},
      {"letter.doc",
       {"CreatePDFfromWord",
        join({"strPassword=\"\"", "strWritePassword=\"\"", "strPages=\"\"", "blnLandscape=false",
              "blnPageNumberInFooter=false", "blnPageNumberInHeader=false", "lngPageNumberAlignment=1",
              "blnFirstPage=false"},
             distilling(true))}},
      {"flyer.pub", {"CreatePDFfromPub", distilling(true)}},
      {"plan.dwg",
       {"CreatePDFfromAutoCAD",
        {"varLayout=omitted", "strPDFWriter=\"Acrobat PDFWriter\"", "blnCloseAcrobat=false",
         "strSaveWindowCaption=\"save pdf file as\""}}},
      {"list.txt",
       {"CreatePDFfromTextFile3",
        {"strDistiller=\"\"", "blnCloseAcrobat=false", "strSaveWindowCaption=\"save pdf file as\"",
         "strSecurityWindowCaption=\"adobe pdf - security\""}}},
      {"sales.rpt",
       {"CreatePDFfromCrystalReport",
        {"strDistiller=\"\"", "blnCloseAcrobat=false", "strSaveWindowCaption=\"save pdf file as\"", "lngStartPage=0",
         "lngEndPage=0"}}},
      {"chart.vsd",
       {"CreatePDFfromVisio",
        {"strDistiller=\"\"", "blnCloseAcrobat=false", "strSaveWindowCaption=\"save pdf file as\"",
         "strSecurityWindowCaption=\"adobe pdf - security\""}}},
      {"photo.JPG",
       {"CreatePDFfromImageFile", {"strTitle=\"\"", "strAuthor=\"\"", "strSubject=\"\"", "strKeywords=\"\""}}},
  };
  // Further names and the row they take.
  const std::map<std::string, std::string> alike = {
      {"notes.rtf", "letter.doc"}, {"Page.HTM", "letter.doc"}, {"site.html", "letter.doc"},
      {"run.bat", "list.txt"},     {"README", "list.txt"},     {"new.docx", "list.txt"},
      {"data.csv", "list.txt"},    {"scan.tiff", "photo.JPG"}, {"pic.png", "photo.JPG"},
      {"logo.emf", "photo.JPG"},   {"figure.eps", "archive.tar.ps"}, {"Art.EPS", "archive.tar.ps"}};
  std::vector<std::string> names;
  for (const auto& [name, row] : rows) names.push_back(name);
  for (const auto& [name, row] : alike) names.push_back(name);
  const auto calls = convert(names, /*security=*/true);

  for (const std::string& name : names) {
    const auto& [operation, fixed] = rows.at(alike.count(name) != 0 ? alike.at(name) : name);
    const auto dot = name.find_last_of('.');
    const std::string pdf = out((dot == std::string::npos ? name : name.substr(0, dot)) + ".pdf");
    EXPECT_EQ(calls.at(name).operation, operation) << name;
    EXPECT_EQ(calls.at(name).arguments, join({q("strPDFFile", pdf), q(nameOfInput(operation), in(name))}, fixed))
        << name;
  }

  // Without security the Office rows pass false.
  for (const auto& [name, call] : convert({"Q2.xls", "deck2.ppt", "letter2.doc", "flyer2.pub"}, false)) {
    EXPECT_EQ(call.arguments.back(), "blnApplySecurity=false") << name;
  }
}

}  // namespace
}  // namespace vd::test
