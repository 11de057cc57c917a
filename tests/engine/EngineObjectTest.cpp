// The engine object: detection through the registry, the temporary directory and its
// write rules, the random stem and FileExists.
#include <sys/stat.h>
#include <unistd.h>

#include "engine/CreatePDF.h"
#include "registry/clsRegistry.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd::test {
namespace {

class InspectableEngine : public CreatePDF {
 public:
  using CreatePDF::FileExists;
  using CreatePDF::GetRandomStem;
  using CreatePDF::GetSpecialFolderPath;
};

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

TEST_F(EngineObjectTest, DetectionWithoutAnyRegistration) {
  CreatePDF engine;
  EXPECT_EQ(engine.AcrobatVersion(), "");
  EXPECT_EQ(engine.PrinterName(), "Acrobat Distiller");
}

TEST_F(EngineObjectTest, DetectionTakesTheVersionAndTheHighestDistillerKey) {
  writeDefaultValue(kVersionKey, "5.0");
  {
    CreatePDF engine;
    EXPECT_EQ(engine.AcrobatVersion(), "5.0");
    EXPECT_EQ(engine.PrinterName(), "Acrobat Distiller");
  }
  writeDefaultValue(kVersionKey, "6.0");
  {
    CreatePDF engine;
    EXPECT_EQ(engine.PrinterName(), "Adobe PDF");
  }
  writeDefaultValue(distillerKey("6.0"), "Six Printer");
  writeDefaultValue(distillerKey("8.0"), "Eight Printer");
  {
    CreatePDF engine;
    EXPECT_EQ(engine.PrinterName(), "Eight Printer");
  }
  // The registered name is taken as it is, even empty.
  writeDefaultValue(distillerKey("10.0"), "");
  CreatePDF engine;
  EXPECT_EQ(engine.PrinterName(), "");
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

TEST_F(EngineObjectTest, RandomStemNamesNoFileOfTheTemporaryDirectory) {
  InspectableEngine engine;
  engine.TempFilePath(scratchFolder("temp"));
  for (int i = 0; i < 50; ++i) {
    const std::string stem = engine.GetRandomStem();
    const long long n = std::stoll(stem);
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 99999999);
    EXPECT_EQ(stem, std::to_string(n));
    EXPECT_FALSE(FileExistsOnDisk(engine.TempFilePath() + stem + ".ps"));
    WriteBytes(engine.TempFilePath() + stem + ".ps", "%!PS\n");
  }
}

TEST_F(EngineObjectTest, FileExistsNeverRaises) {
  InspectableEngine engine;
  const std::string file = scratch("here.ps");
  WriteBytes(file, "");
  EXPECT_TRUE(engine.FileExists(file));
  EXPECT_FALSE(engine.FileExists(scratch("missing dir/file.ps")));
  EXPECT_FALSE(engine.FileExists(""));
  EXPECT_FALSE(engine.FileExists(scratchFolder("folder")));
  std::int32_t systemFolder = 37;
  EXPECT_EQ(engine.GetSpecialFolderPath(systemFolder), VD_BUILD_HELPER_DIR);
  std::int32_t other = 5;
  EXPECT_EQ(engine.GetSpecialFolderPath(other), "");
}

TEST_F(EngineObjectTest, MissingDistillerIsAnEngineErrorAndLeavesNoOutput) {
  environment.set("VELLUMDOCK_HELPER_DIR", scratchFolder("empty helpers"));
  CreatePDF engine;
  const std::string pdf = scratch("out.pdf");
  WriteBytes(pdf, "old");
  try {
    engine.CreatePDFfromPS(pdf, Corpus("ps/alphabet.ps"));
    FAIL() << "no error raised";
  } catch (const EngineError& error) {
    EXPECT_EQ(error.number(), EngineError::kNumber);
    EXPECT_EQ(error.source(), "Vellumdock");
    EXPECT_NE(error.description().find("vellumdk-gsworker"), std::string::npos);
  }
  // The stale output went before the Distiller was asked for.
  EXPECT_FALSE(FileExistsOnDisk(pdf));
}

// Watches the Distiller field from inside the engine's own events.
class FieldWatchingEngine : public CreatePDF, public CreatePDFEvents {
 public:
  FieldWatchingEngine() { setEvents(this); }
  void JobStart(std::string&, std::string&) override { setDuringJob = objAdobeDistiller != nullptr; }
  bool fieldEmpty() const { return objAdobeDistiller == nullptr; }
  bool setDuringJob = false;
};

TEST_F(EngineObjectTest, DistillerFieldIsSetOnlyWhileItsJobRuns) {
  FieldWatchingEngine engine;
  EXPECT_TRUE(engine.fieldEmpty());
  engine.CreatePDFfromPS(scratch("a.pdf"), Corpus("ps/alphabet.ps"));
  EXPECT_TRUE(engine.setDuringJob);
  EXPECT_TRUE(engine.fieldEmpty());
  EXPECT_EQ(PageCount(scratch("a.pdf")), 1);
}

}  // namespace
}  // namespace vd::test
