// Which engine operation each listed file reaches, with its output and input, and which
// operations carry the security setting. The fixed arguments of each operation are the
// dispatch table's own and are not written out again here.
#include <algorithm>
#include <map>

#include "ScanCycleFixture.h"

namespace vd::test {
namespace {

enum class Security { Applied, AlwaysOff, NotTaken };

struct Row {
  std::string operation;
  std::string inputParameter;
  Security security;
};


class DispatchTest : public ScanCycleFixture {};

TEST_F(DispatchTest, EveryExtensionReachesItsOperationWithItsOutputInputAndSecurity) {
  // The text row also takes every extension outside the table, and names without one.
  const std::map<std::string, Row> rows = {
      {"archive.tar.ps", {"CreatePDFfromPS", "strPSFile", Security::AlwaysOff}},
      {"Q1.XLS", {"CreatePDFfromExcel", "strExcelWorkbook", Security::Applied}},
      {"deck.ppt", {"CreatePDFfromPowerPoint", "strPPDocument", Security::Applied}},
      {"letter.doc", {"CreatePDFfromWord", "strWordDocument", Security::Applied}},
      {"flyer.pub", {"CreatePDFfromPub", "strPubFile", Security::Applied}},
      {"plan.dwg", {"CreatePDFfromAutoCAD", "strDWGFile", Security::NotTaken}},
      {"list.txt", {"CreatePDFfromTextFile3", "strTextFile", Security::NotTaken}},
      {"sales.rpt", {"CreatePDFfromCrystalReport", "strCrystalReport", Security::NotTaken}},
      {"chart.vsd", {"CreatePDFfromVisio", "strVisioFile", Security::NotTaken}},
      {"photo.JPG", {"CreatePDFfromImageFile", "strImagefile", Security::NotTaken}},
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

  for (const bool security : {true, false}) {
    SCOPED_TRACE(security);
    pump = ScriptedEventPump{};
    engine.calls.clear();
    ScanSettings scan = settings();
    scan.security = security;
    for (const std::string& name : names) WriteSettledFile(in(name), "content of " + name);
    runPasses(scan, 1);
    ASSERT_EQ(engine.calls.size(), names.size());

    for (const std::string& name : names) {
      SCOPED_TRACE(name);
      const Row& row = rows.at(alike.count(name) != 0 ? alike.at(name) : name);
      const std::string input = row.inputParameter + "=\"" + in(name) + "\"";
      const auto call = std::find_if(engine.calls.begin(), engine.calls.end(),
                                     [&](const EngineCall& made) { return made.arguments.at(1) == input; });
      ASSERT_NE(call, engine.calls.end());
      EXPECT_EQ(call->operation, row.operation);
      const auto dot = name.find_last_of('.');
      EXPECT_EQ(call->arguments.at(0), "strPDFFile=\"" + out((dot == std::string::npos ? name : name.substr(0, dot)) + ".pdf") + "\"");
      const auto applied = std::find_if(call->arguments.begin(), call->arguments.end(), [](const std::string& argument) {
        return argument.rfind("blnApplySecurity=", 0) == 0;
      });
      if (row.security == Security::NotTaken) {
        EXPECT_EQ(applied, call->arguments.end());
      } else {
        ASSERT_EQ(applied, call->arguments.end() - 1);
        EXPECT_EQ(*applied, std::string("blnApplySecurity=") + (security && row.security == Security::Applied ? "true" : "false"));
      }
    }
  }
}

}  // namespace
}  // namespace vd::test
