// The engine object: detection through the registry or handed in, the temporary
// directory and its write rules, the stand-ins it is given or misses.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <stdexcept>

#include "engine/CreatePDF.h"
#include "registry/clsRegistry.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

void writeDefaultValue(const std::string& key, const std::string& value) {
  clsRegistry registry;
  ASSERT_NE(registry.OpenRegistry(HKEY_LOCAL_MACHINE, ""), 0);
  ASSERT_TRUE(registry.CreateDirectory(key));
  ASSERT_NE(registry.OpenRegistry(HKEY_LOCAL_MACHINE, key), 0);
  ASSERT_TRUE(registry.CreateValue("", RegItem{value}, REG_SZ));
}

const std::string kVersionKey = "SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion";
std::string distillerKey(const std::string& version) {
  return "SOFTWARE\\Adobe\\Acrobat Distiller\\" + version + "\\PrinterName";
}

using EngineObjectTest = IsolatedTest;

TEST_F(EngineObjectTest, DetectionTakesTheVersionAndTheHighestDistillerKey) {
  const auto detected = [] {
    CreatePDF engine;
    return engine.AcrobatVersion() + "|" + engine.PrinterName();
  };
  EXPECT_EQ(detected(), "|Acrobat Distiller");
  writeDefaultValue(kVersionKey, "5.0");
  EXPECT_EQ(detected(), "5.0|Acrobat Distiller");
  writeDefaultValue(kVersionKey, "6.0");
  EXPECT_EQ(detected(), "6.0|Adobe PDF");
  writeDefaultValue(distillerKey("6.0"), "Six Printer");
  writeDefaultValue(distillerKey("8.0"), "Eight Printer");
  EXPECT_EQ(detected(), "6.0|Eight Printer");
  // The registered name is taken as it is, even empty.
  writeDefaultValue(distillerKey("10.0"), "");
  EXPECT_EQ(detected(), "6.0|");
  // Detection handed in is taken as it is, instead of the registry.
  CreatePDF engine(EngineDetection{"9.0", "Handed In"}, StandInFactories{});
  EXPECT_EQ(engine.AcrobatVersion() + "|" + engine.PrinterName(), "9.0|Handed In");
}

// The applications' slots, reached as the converters will reach them.
class ApplicationSlots : public CreatePDF {
 public:
  ApplicationSlots(EngineDetection detection, StandInFactories standIns)
      : CreatePDF(std::move(detection), std::move(standIns)) {}
  using CreatePDF::CreateAutoCADApplication;
};

TEST_F(EngineObjectTest, EmptySlotsAndAMissingDistillerAreEngineErrorsNamingTheComponent) {
  const std::string ps = Corpus("ps/alphabet.ps");
  const std::string pdf = MakeTextPdf(scratch("in.pdf"), {"One"});
  DistillingOptions secured;
  secured.blnApplySecurity = true;
  // The Distiller's version decides between the eventful and the security-capable one.
  StandInFactories secureOnly;
  secureOnly.secureDistiller = RealStandIns().secureDistiller;
  ApplicationSlots eight(EngineDetection{"8.0", "Adobe PDF"}, secureOnly);
  CreatePDF five(EngineDetection{"5.0", "Acrobat Distiller"}, secureOnly);
  // An empty slot of any application is named alike.
  ApplicationSlots empty(EngineDetection{}, StandInFactories{});

  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { eight.CreatePDFfromMultiPDF(scratch("out.pdf"), PathArray{0, {pdf}}); }, "AcroExch.PDDoc"},
      {[&] { eight.CreatePDFfromImageFile(scratch("out.pdf"), Corpus("png/basn3p08.png")); }, "AcroExch.App"},
      {[&] { eight.CreatePDFfromPS(scratch("out.pdf"), ps); }, "Acrobat Distiller"},
      {[&] { five.CreatePDFfromPS(scratch("out.pdf"), ps, secured); }, "Acrobat Distiller"},
      {[&] { empty.CreateAutoCADApplication(); }, "AutoCAD.Application"},
  };
  for (const auto& [call, component] : cases) EXPECT_EQ(EngineErrorOf(call), component + " is not available.");
  // Exporting reports nothing, whatever happens.
  EXPECT_NO_THROW(eight.CreatePSfromPDF(pdf, scratch("out.ps")));
  EXPECT_FALSE(FileExistsOnDisk(scratch("out.pdf")));
  EXPECT_FALSE(FileExistsOnDisk(scratch("out.ps")));

  // The components given do their work.
  eight.CreatePDFfromPS(scratch("secured.pdf"), ps, secured);
  EXPECT_NE(ProgramOutput("qpdf", {"--show-encryption", scratch("secured.pdf")}).find("R = 6"), std::string::npos);
  StandInFactories filled;
  struct Drawings : AutoCADApplication {
    AutoCADApplication& Application() override { return *this; }
    AutoCADDocuments& Documents() override { throw std::logic_error("no documents"); }
    void Quit() override {}
  };
  filled.autoCAD = [] { return std::make_unique<Drawings>(); };
  EXPECT_NE(ApplicationSlots(EngineDetection{}, filled).CreateAutoCADApplication(), nullptr);

  // Without its worker program the Distiller is an engine error naming it; the stale
  // output went before the Distiller was asked for.
  environment.set("VELLUMDOCK_HELPER_DIR", scratchFolder("empty helpers"));
  CreatePDF helperless;
  WriteBytes(scratch("out.pdf"), "old");
  EXPECT_NE(EngineErrorOf([&] { helperless.CreatePDFfromPS(scratch("out.pdf"), ps); }).find("vellumdk-gsworker"),
            std::string::npos);
  EXPECT_FALSE(FileExistsOnDisk(scratch("out.pdf")));
}

TEST_F(EngineObjectTest, TemporaryDirectoryIsAFreshPrivateOneAndFollowsItsWriteRules) {
  // The usual name, taken first and left open to everyone: a fresh private one instead.
  const std::string taken = environment.path("runtime/vellumdock-temp");
  ASSERT_EQ(mkdir(taken.c_str(), 0777), 0);
  chmod(taken.c_str(), 0777);
  environment.set("TMPDIR", scratchFolder("tmp"));
  CreatePDF engine;
  const std::string chosen = engine.TempFilePath();
  EXPECT_EQ(chosen.rfind(scratch("tmp/vellumdock-"), 0), 0u) << chosen;
  EXPECT_EQ(chosen.back(), '/');
  struct stat info {};
  ASSERT_EQ(lstat(chosen.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(info.st_uid, getuid());

  const std::string created = scratch("new temp");
  engine.TempFilePath(created);
  EXPECT_EQ(engine.TempFilePath(), created + "/");
  EXPECT_TRUE(FileExistsOnDisk(created));
  const std::string existing = scratchFolder("existing") + "/";
  engine.TempFilePath(existing);
  EXPECT_EQ(engine.TempFilePath(), existing);
  // A parent that does not exist, a plain file and nothing keep the previous value.
  WriteBytes(scratch("plain"), "x");
  for (const std::string& refused : {scratch("no/such/parent"), scratch("plain"), std::string()}) {
    engine.TempFilePath(refused);
    EXPECT_EQ(engine.TempFilePath(), existing);
  }
}

}  // namespace
}  // namespace vd::test
