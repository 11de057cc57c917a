// Which engine operation each listed file reaches, with exactly which argument values.
#include <map>

#include "ServerFixture.h"

namespace vd::test {
namespace {

using Arguments = std::vector<std::string>;

class DispatchTest : public ServerFixture {
 protected:
  // Runs one pass over the given names and returns the calls by input name.
  std::map<std::string, EngineCall> convert(const std::vector<std::string>& names, bool security) {
    storeDirectories("1");
    store("Security", security ? "1" : "0");
    for (const std::string& name : names) writeFile(in(name), "content of " + name);
    auto form = makeForm();
    runPasses(*form, 1);
    std::map<std::string, EngineCall> byName;
    for (const EngineCall& call : engine.calls) {
      for (const std::string& name : names) {
        if (call.arguments.at(1).find("=\"" + in(name) + "\"") != std::string::npos) byName[name] = call;
      }
    }
    EXPECT_EQ(byName.size(), names.size());
    EXPECT_EQ(engine.calls.size(), names.size());
    return byName;
  }
  std::string q(const char* name, const std::string& value) const { return std::string(name) + "=\"" + value + "\""; }
  static Arguments distilling(bool security) {
    return {"strDistiller=\"\"", "blnShowWindow=false", "blnSpoolJobs=false", "strJobOptionsFile=\"\"",
            std::string("blnApplySecurity=") + (security ? "true" : "false")};
  }
  static Arguments join(Arguments head, const Arguments& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
  }
};

TEST_F(DispatchTest, EveryRowGetsItsOperationAndFixedArgumentsWithSecuritySet) {
  const auto calls = convert({"archive.tar.ps", "Q1.XLS", "deck.ppt", "letter.doc", "notes.rtf", "Page.HTM",
                              "site.html", "flyer.pub", "plan.dwg", "list.txt", "run.bat", "sales.rpt", "chart.vsd",
                              "photo.JPG", "scan.tiff", "pic.png", "logo.emf", "README", "new.docx", "data.csv"},
                             /*security=*/true);

  const auto& ps = calls.at("archive.tar.ps");
  EXPECT_EQ(ps.operation, "CreatePDFfromPS");
  EXPECT_EQ(ps.arguments, join({q("strPDFFile", out("archive.tar.pdf")), q("strPSFile", in("archive.tar.ps"))},
                               distilling(false)));

  const auto& excel = calls.at("Q1.XLS");
  EXPECT_EQ(excel.operation, "CreatePDFfromExcel");
  EXPECT_EQ(excel.arguments,
            join({q("strPDFFile", out("Q1.pdf")), q("strExcelWorkbook", in("Q1.XLS")), "varExcelWorksheet=omitted",
                  "strRange=\"\"", "strPassword=\"\"", "strWriteResPassword=\"\"", "blnUseGrid=false",
                  "blnLandscape=false", "strHeader=\"\"", "lngHeaderAlignment=1", "strFooter=\"\"",
                  "lngFooterAlignment=0", "dblTopMargin=0", "dblLeftMargin=0", "dblRightMargin=0",
                  "dblBottomMargin=0", "dblHeaderMargin=0", "dblFooterMargin=0", "lngFirstPageNumber=1"},
                 distilling(true)));

  const auto& ppt = calls.at("deck.ppt");
  EXPECT_EQ(ppt.operation, "CreatePDFfromPowerPoint");
  EXPECT_EQ(ppt.arguments, join({q("strPDFFile", out("deck.pdf")), q("strPPDocument", in("deck.ppt")),
                                 "lngStartSlide=-1", "lngEndSlide=-1", "blnHorizontalOrientation=false"},
                                distilling(true)));

  for (const char* name : {"letter.doc", "notes.rtf", "Page.HTM", "site.html"}) {
    const auto& word = calls.at(name);
    const std::string base = std::string(name).substr(0, std::string(name).find('.'));
    EXPECT_EQ(word.operation, "CreatePDFfromWord") << name;
    EXPECT_EQ(word.arguments,
              join({q("strPDFFile", out(base + ".pdf")), q("strWordDocument", in(name)), "strPassword=\"\"",
                    "strWritePassword=\"\"", "strPages=\"\"", "blnLandscape=false", "blnPageNumberInFooter=false",
                    "blnPageNumberInHeader=false", "lngPageNumberAlignment=1", "blnFirstPage=false"},
                   distilling(true)))
        << name;
  }

  const auto& pub = calls.at("flyer.pub");
  EXPECT_EQ(pub.operation, "CreatePDFfromPub");
  EXPECT_EQ(pub.arguments,
            join({q("strPDFFile", out("flyer.pdf")), q("strPubFile", in("flyer.pub"))}, distilling(true)));

  const auto& dwg = calls.at("plan.dwg");
  EXPECT_EQ(dwg.operation, "CreatePDFfromAutoCAD");
  EXPECT_EQ(dwg.arguments, (Arguments{q("strPDFFile", out("plan.pdf")), q("strDWGFile", in("plan.dwg")),
                                      "varLayout=omitted", "strPDFWriter=\"Acrobat PDFWriter\"",
                                      "blnCloseAcrobat=false", "strSaveWindowCaption=\"save pdf file as\""}));

  // The text row also takes every extension outside the table, and names without one.
  for (const char* name : {"list.txt", "run.bat", "README", "new.docx", "data.csv"}) {
    const auto& text = calls.at(name);
    const std::string nameText = name;
    const auto dot = nameText.find('.');
    const std::string base = dot == std::string::npos ? nameText : nameText.substr(0, dot);
    EXPECT_EQ(text.operation, "CreatePDFfromTextFile3") << name;
    EXPECT_EQ(text.arguments, (Arguments{q("strPDFFile", out(base + ".pdf")), q("strTextFile", in(name)),
                                         "strDistiller=\"\"", "blnCloseAcrobat=false",
                                         "strSaveWindowCaption=\"save pdf file as\"",
                                         "strSecurityWindowCaption=\"adobe pdf - security\""}))
        << name;
  }

  const auto& rpt = calls.at("sales.rpt");
  EXPECT_EQ(rpt.operation, "CreatePDFfromCrystalReport");
  EXPECT_EQ(rpt.arguments, (Arguments{q("strPDFFile", out("sales.pdf")), q("strCrystalReport", in("sales.rpt")),
                                      "strDistiller=\"\"", "blnCloseAcrobat=false",
                                      "strSaveWindowCaption=\"save pdf file as\"", "lngStartPage=0", "lngEndPage=0"}));

  const auto& vsd = calls.at("chart.vsd");
  EXPECT_EQ(vsd.operation, "CreatePDFfromVisio");
  EXPECT_EQ(vsd.arguments, (Arguments{q("strPDFFile", out("chart.pdf")), q("strVisioFile", in("chart.vsd")),
                                      "strDistiller=\"\"", "blnCloseAcrobat=false",
                                      "strSaveWindowCaption=\"save pdf file as\"",
                                      "strSecurityWindowCaption=\"adobe pdf - security\""}));

  for (const char* name : {"photo.JPG", "scan.tiff", "pic.png", "logo.emf"}) {
    const auto& image = calls.at(name);
    const std::string base = std::string(name).substr(0, std::string(name).find('.'));
    EXPECT_EQ(image.operation, "CreatePDFfromImageFile") << name;
    EXPECT_EQ(image.arguments, (Arguments{q("strPDFFile", out(base + ".pdf")), q("strImagefile", in(name)),
                                          "strTitle=\"\"", "strAuthor=\"\"", "strSubject=\"\"", "strKeywords=\"\""}))
        << name;
  }
}

TEST_F(DispatchTest, WithoutSecurityTheOfficeRowsPassFalse) {
  const auto calls = convert({"Q1.xls", "deck.ppt", "letter.doc", "flyer.pub"}, /*security=*/false);
  for (const auto& [name, call] : calls) EXPECT_EQ(call.arguments.back(), "blnApplySecurity=false") << name;
}

}  // namespace
}  // namespace vd::test
