// vellumdk-setup, run as a program in a scratch machine directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/PrintSubsystem.h"
#include "registry/clsRegistry.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd {
namespace {

std::string machineDefault(const std::string& key) {
  clsRegistry registry;
  if (registry.OpenRegistry(HKEY_LOCAL_MACHINE, key) == 0) return "<no key>";
  return registry.GetValue("").asText();
}

struct SetupRun {
  int exitCode = -1;
  std::string out;
  std::string errors;
};

SetupRun runSetupProgram() {
  SetupRun run;
  run.exitCode = test::RunProgram(std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-setup", {}, &run.out, &run.errors);
  return run;
}

TEST(SetupProgramTest, InstallsThePrinterAndKeysAndASecondRunChangesNothing) {
  IsolatedEnvironment environment;
  runSetup(environment);
  EXPECT_EQ(printSubsystem().installedPrinters(), std::vector<std::string>{"Adobe PDF"});
  EXPECT_EQ(printSubsystem().getProfileString("PrinterPorts", "Adobe PDF", ""),
            "Adobe PDF Converter,Documents\\*.pdf (Adobe PDF),15,45");
  EXPECT_EQ(machineDefault("SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion"), "8.0");
  EXPECT_EQ(machineDefault("SOFTWARE\\Adobe\\Acrobat Distiller\\8.0\\PrinterName"), "Adobe PDF");
  // Set-up is a machine matter: it chooses no default printer for anyone.
  EXPECT_EQ(printSubsystem().defaultPrinter(), "");

  const std::string hive = test::ReadBytes(environment.path("machine/registry.sqlite"));
  const std::string table = test::ReadBytes(environment.path("machine/printers.sqlite"));
  ASSERT_FALSE(hive.empty() || table.empty());
  const SetupRun second = runSetupProgram();
  EXPECT_EQ(second.exitCode, 0) << second.errors;
  EXPECT_NE(second.out.find("already installed"), std::string::npos) << second.out;
  EXPECT_EQ(test::ReadBytes(environment.path("machine/registry.sqlite")), hive);
  EXPECT_EQ(test::ReadBytes(environment.path("machine/printers.sqlite")), table);
}

TEST(SetupProgramTest, RepairsAChangedValueAndKeepsOtherPrinters) {
  IsolatedEnvironment environment;
  PrinterRecord laser;
  laser.name = "Laser";
  laser.driver = "winspool";
  laser.port = "Ne00:";
  ASSERT_TRUE(printSubsystem().installPrinter(laser));
  runSetup(environment);
  {
    clsRegistry registry;
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion"), -1);
    ASSERT_TRUE(registry.CreateValue("", std::string("5.0"), REG_SZ));
  }
  runSetup(environment);
  EXPECT_EQ(machineDefault("SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion"), "8.0");
  EXPECT_EQ(printSubsystem().installedPrinters(), (std::vector<std::string>{"Laser", "Adobe PDF"}));
}

TEST(SetupProgramTest, MachineDirectoryWithoutRightsFailsClearly) {
  IsolatedEnvironment environment;
  ASSERT_EQ(chmod(environment.path("machine").c_str(), 0555), 0);
  const SetupRun run = runSetupProgram();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.errors.find("cannot write the machine-wide state in " + environment.path("machine")),
            std::string::npos)
      << run.errors;
  EXPECT_TRUE(printSubsystem().installedPrinters().empty());
}

}  // namespace
}  // namespace vd
