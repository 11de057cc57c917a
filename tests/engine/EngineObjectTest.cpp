// The engine object: detection through the registry, the temporary directory and its
// write rules, and the missing Distiller.
#include <sys/stat.h>
#include <unistd.h>

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
}

TEST_F(EngineObjectTest, TemporaryDirectoryIsPrivateByDefaultAndFollowsItsWriteRules) {
  CreatePDF engine;
  const std::string initial = engine.TempFilePath();
  ASSERT_FALSE(initial.empty());
  EXPECT_EQ(initial.back(), '/');
  struct stat info {};
  ASSERT_EQ(stat(initial.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_EQ(info.st_uid, getuid());

  const std::string created = scratch("new temp");
  engine.TempFilePath(created);
  EXPECT_EQ(engine.TempFilePath(), created + "/");
  EXPECT_TRUE(FileExistsOnDisk(created));

  const std::string existing = scratchFolder("existing") + "/";
  engine.TempFilePath(existing);
  EXPECT_EQ(engine.TempFilePath(), existing);

  // A parent that does not exist, and a plain file, keep the previous value.
  engine.TempFilePath(scratch("no/such/parent"));
  EXPECT_EQ(engine.TempFilePath(), existing);
  WriteBytes(scratch("plain"), "x");
  engine.TempFilePath(scratch("plain"));
  EXPECT_EQ(engine.TempFilePath(), existing);
  engine.TempFilePath("");
  EXPECT_EQ(engine.TempFilePath(), existing);
  EXPECT_NE(initial, existing);
}

TEST_F(EngineObjectTest, MissingDistillerIsAnEngineErrorAndLeavesNoOutput) {
  environment.set("VELLUMDOCK_HELPER_DIR", scratchFolder("empty helpers"));
  CreatePDF engine;
  const std::string pdf = scratch("out.pdf");
  WriteBytes(pdf, "old");
  EXPECT_NE(EngineErrorOf([&] { engine.CreatePDFfromPS(pdf, Corpus("ps/alphabet.ps")); }).find("vellumdk-gsworker"),
            std::string::npos);
  // The stale output went before the Distiller was asked for.
  EXPECT_FALSE(FileExistsOnDisk(pdf));
}

}  // namespace
}  // namespace vd::test
