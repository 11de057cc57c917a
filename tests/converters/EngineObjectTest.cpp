// The engine object: detection through the registry, the temporary
// directory and its write rules, the stand-ins it is given or misses.
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

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
}

TEST_F(EngineObjectTest, EmptySlotsAndAMissingDistillerAreEngineErrorsNamingTheComponent) {
  const std::string ps = Corpus("ps/alphabet.ps");
  const std::string pdf = MakeTextPdf(scratch("in.pdf"), {"One"});
  DistillingOptions secured;
  secured.blnApplySecurity = true;
  // The Distiller's version decides between the eventful and the security-capable one.
  StandInFactories secureOnly;
  secureOnly.secureDistiller = RealStandIns().secureDistiller;
  CreatePDF eight(EngineDetection{"8.0", "Adobe PDF"}, secureOnly);
  // An empty slot of any application is named alike.
  CreatePDF empty(EngineDetection{}, StandInFactories{});
  AutoCADOptions drawing;

  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { eight.CreatePDFfromMultiPDF(scratch("out.pdf"), PathArray{0, {pdf}}); }, "AcroExch.PDDoc"},
      {[&] { eight.CreatePDFfromImageFile(scratch("out.pdf"), Corpus("png/basn3p08.png")); }, "AcroExch.App"},
      {[&] { eight.CreatePDFfromPS(scratch("out.pdf"), ps); }, "Acrobat Distiller"},
      {[&] { empty.CreatePDFfromAutoCAD(scratch("out.pdf"), pdf, drawing); }, "AutoCAD.Application"},
  };
  for (const auto& [call, component] : cases) EXPECT_EQ(EngineErrorOf(call), component + " is not available.");
  EXPECT_FALSE(FileExistsOnDisk(scratch("out.pdf")));
  // The one it has does its work.
  eight.CreatePDFfromPS(scratch("secured.pdf"), ps, secured);
  EXPECT_EQ(PageCount(scratch("secured.pdf")), 1);

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

  // A new folder is made, an existing one taken; a parent that does not exist, a plain file
  // and nothing keep the previous value.
  WriteBytes(scratch("plain"), "x");
  const std::string existing = scratchFolder("existing") + "/";
  const std::pair<std::string, std::string> settings[] = {
      {scratch("new temp"), scratch("new temp/")}, {existing, existing}, {scratch("no/such/parent"), existing},
      {scratch("plain"), existing}, {"", existing}};
  for (const auto& [given, taken] : settings) {
    engine.TempFilePath(given);
    EXPECT_EQ(engine.TempFilePath(), taken) << given;
  }
  EXPECT_TRUE(FileExistsOnDisk(scratch("new temp")));
}

}  // namespace
}  // namespace vd::test
