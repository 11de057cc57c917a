// vellumdk-setup, run as a program in a scratch machine directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/PrintSubsystem.h"
#include "registry/clsRegistry.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd {
namespace {

const std::string kSetup = std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-setup";

std::string machineDefault(const std::string& key) {
  clsRegistry registry;
  if (registry.OpenRegistry(HKEY_LOCAL_MACHINE, key) == 0) return "<no key>";
  return registry.GetValue("").asText();
}

TEST(SetupProgramTest, InstallsThePrinterAndKeysKeepsOtherPrintersAndRepairsWhatChanged) {
  IsolatedEnvironment environment;
  ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{"Laser", "winspool", "Ne00:"}));
  runSetup(environment);
  EXPECT_EQ(printSubsystem().installedPrinters(), (std::vector<std::string>{"Laser", "Adobe PDF"}));
  EXPECT_EQ(printSubsystem().getProfileString("PrinterPorts", "Adobe PDF", ""),
            "Adobe PDF Converter,Documents\\*.pdf (Adobe PDF),15,45");
  EXPECT_EQ(machineDefault("SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion"), "8.0");
  EXPECT_EQ(machineDefault("SOFTWARE\\Adobe\\Acrobat Distiller\\8.0\\PrinterName"), "Adobe PDF");
  // Set-up is a machine matter: it chooses no default printer for anyone.
  EXPECT_EQ(printSubsystem().defaultPrinter(), "");

  // A second run changes nothing.
  const std::string hive = test::ReadBytes(environment.path("machine/registry.sqlite"));
  const std::string table = test::ReadBytes(environment.path("machine/printers.sqlite"));
  ASSERT_FALSE(hive.empty() || table.empty());
  std::string out;
  std::string errors;
  EXPECT_EQ(test::RunProgram(kSetup, {}, &out, &errors), 0) << errors;
  EXPECT_NE(out.find("already installed"), std::string::npos) << out;
  EXPECT_EQ(test::ReadBytes(environment.path("machine/registry.sqlite")), hive);
  EXPECT_EQ(test::ReadBytes(environment.path("machine/printers.sqlite")), table);

  // A value changed since is repaired.
  {
    clsRegistry registry;
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion"), -1);
    ASSERT_TRUE(registry.CreateValue("", std::string("5.0"), REG_SZ));
  }
  runSetup(environment);
  EXPECT_EQ(machineDefault("SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion"), "8.0");
}

TEST(SetupProgramTest, MachineDirectoryWithoutRightsFailsClearly) {
  IsolatedEnvironment environment;
  ASSERT_EQ(chmod(environment.path("machine").c_str(), 0555), 0);
  std::string errors;
  EXPECT_EQ(test::RunProgram(kSetup, {}, nullptr, &errors), 1);
  EXPECT_NE(errors.find("cannot write the machine-wide state in " + environment.path("machine")), std::string::npos)
      << errors;
  EXPECT_TRUE(printSubsystem().installedPrinters().empty());
}

}  // namespace
}  // namespace vd
