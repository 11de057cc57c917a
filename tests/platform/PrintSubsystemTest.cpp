// The print subsystem: the machine's printer table and the user's profile sections that
// name the default printer, kept consistent both ways; and vellumdk-setup, run as a program,
// installing the Distiller's printer and keys in a scratch machine directory.
#include "platform/PrintSubsystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/CreatePDF.h"
#include "platform/WindowTable.h"
#include "registry/clsRegistry.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd {
namespace {

const std::string kSetup = std::string(VD_BUILD_PROGRAM_DIR) + "/vellumdk-setup";

class PrintSubsystemTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(printers.installPrinter(PrinterRecord{"Laser", "winspool", "Ne00:"}));
    ASSERT_TRUE(printers.installPrinter(PrinterRecord{"Adobe PDF", "Adobe PDF Converter", "Documents\\*.pdf (Adobe PDF)"}));
  }
  void setAttributes(const std::string& name, std::uint32_t attributes) {
    auto info = printers.getPrinter5(name);
    ASSERT_TRUE(info);
    info->attributes = attributes;
    EXPECT_TRUE(printers.setPrinter5(name, *info)) << name;
  }
  IsolatedEnvironment environment;
  PrintSubsystem& printers = printSubsystem();
};

TEST_F(PrintSubsystemTest, TableKeepsInstallOrderAndFeedsThePortsSection) {
  // Installing again replaces in place.
  ASSERT_TRUE(printers.installPrinter(PrinterRecord{"LASER", "winspool", "LPT1:"}));
  EXPECT_EQ(printers.installedPrinters(), (std::vector<std::string>{"LASER", "Adobe PDF"}));
  EXPECT_EQ(printers.getProfileString("PrinterPorts", "laser", "none"), "winspool,LPT1:,15,45");
  // The section follows the table; it cannot be written around it.
  EXPECT_FALSE(printers.writeProfileString("PrinterPorts", "Fake", "x,y,15,45"));
  EXPECT_EQ(printers.getProfileString("PrinterPorts", "Fake", "none"), "none");
}

TEST_F(PrintSubsystemTest, AttributeAndDeviceEntryNameTheSameDefaultPerUserWithoutMachineRights) {
  EXPECT_EQ(printers.defaultPrinter(), "");
  setAttributes("Laser", PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_EQ(printers.defaultPrinter(), "Laser");
  EXPECT_EQ(printers.getProfileString("windows", "Device", ""), "Laser,winspool,Ne00:");

  // The profile way moves the flag; a Device entry naming no installed printer means none.
  ASSERT_TRUE(printers.writeProfileString("windows", "Device", "Adobe PDF,Adobe PDF Converter,Documents\\*.pdf"));
  EXPECT_EQ(printers.defaultPrinter(), "Adobe PDF");
  EXPECT_EQ(printers.getPrinter5("Adobe PDF")->attributes, PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_EQ(printers.getPrinter5("Laser")->attributes, 0u);
  ASSERT_TRUE(printers.writeProfileString("windows", "Device", "Gone,winspool,LPT1:"));
  EXPECT_EQ(printers.defaultPrinter(), "");
  EXPECT_EQ(printers.getPrinter5("Adobe PDF")->attributes, 0u);

  // The machine directory becomes read-only: the table cannot change, the user's default can.
  ASSERT_EQ(chmod(environment.path("machine").c_str(), 0555), 0);
  EXPECT_FALSE(printers.installPrinter(PrinterRecord{"Third", "winspool", "LPT2:"}));
  setAttributes("Adobe PDF", PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_EQ(printers.defaultPrinter(), "Adobe PDF");
  // Another user (another data directory) has a default of their own.
  setenv("XDG_DATA_HOME", environment.path("other-user").c_str(), 1);
  EXPECT_EQ(printers.defaultPrinter(), "");
  EXPECT_EQ(printers.installedPrinters().size(), 2u);
}

TEST_F(PrintSubsystemTest, SetDefPrinterTakesTheFamilysWayAndChangesNothingForUnknownPrinters) {
  const WindowHandle listener = windowTable().registerWindow("Listener", "any window");
  const std::string pdfDevice = "Adobe PDF,Adobe PDF Converter,Documents\\*.pdf (Adobe PDF)";
  // Platform family, printer asked for; then the default, the device entry, Laser's attributes, a broadcast.
  for (const auto& [platformId, printer, defaultAfter, deviceAfter, laserAttributes, broadcast] :
       std::vector<std::tuple<const char*, std::string, std::string, std::string, std::uint32_t, bool>>{
           {"2", "", "Adobe PDF", pdfDevice, 0x40, false},
           {"2", "Missing", "Adobe PDF", pdfDevice, 0x40, false},
           // The time-outs of the ports entry are not part of the device entry.
           {"2", "laser", "Laser", "laser,winspool,Ne00:", 0x40 | PRINTER_ATTRIBUTE_DEFAULT, true},
           {"1", "", "Adobe PDF", pdfDevice, 0x40, false},
           {"1", "Missing", "Adobe PDF", pdfDevice, 0x40, false},
           {"1", "Laser", "Laser", "Laser,winspool,Ne00:", PRINTER_ATTRIBUTE_DEFAULT, false},
       }) {
    SCOPED_TRACE(std::string(platformId) + " '" + printer + "'");
    environment.set("VELLUMDOCK_PLATFORM_ID", platformId);
    setAttributes("Adobe PDF", PRINTER_ATTRIBUTE_DEFAULT);
    setAttributes("Laser", 0x40);  // an old bit shows whether the attribute way replaced them
    windowTable().takeMessages(listener);

    CreatePDF(EngineDetection{}).SetDefPrinter(printer);
    EXPECT_EQ(printers.defaultPrinter(), defaultAfter);
    EXPECT_EQ(printers.getProfileString("windows", "Device", ""), deviceAfter);
    EXPECT_EQ(printers.getPrinter5("Laser")->attributes, laserAttributes);
    const auto messages = windowTable().takeMessages(listener);
    ASSERT_EQ(messages.size(), broadcast ? 1u : 0u);
    if (broadcast) {
      EXPECT_EQ(std::tie(messages[0].message, messages[0].wParam, messages[0].lParam),
                std::make_tuple(WM_WININICHANGE, std::int64_t{0}, std::string("windows")));
    }
  }
  windowTable().unregisterWindow(listener);
}

std::string machineDefault(const std::string& key) {
  clsRegistry registry;
  if (registry.OpenRegistry(HKEY_LOCAL_MACHINE, key) == 0) return "<no key>";
  return registry.GetValue("").asText();
}

TEST(SetupProgramTest, InstallsThePrinterAndKeysOnceKeepsOtherPrintersAndFailsClearlyWithoutRights) {
  IsolatedEnvironment environment;
  ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{"Laser", "winspool", "Ne00:"}));
  runSetup(environment);
  EXPECT_EQ(printSubsystem().installedPrinters(), (std::vector<std::string>{"Laser", "Adobe PDF", "Acrobat PDFWriter"}));
  EXPECT_EQ(machineDefault("SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion"), "8.0");
  EXPECT_EQ(machineDefault("SOFTWARE\\Adobe\\Acrobat Distiller\\8.0\\PrinterName"), "Adobe PDF");
  // Set-up is a machine matter: it chooses no default printer for anyone.
  EXPECT_EQ(printSubsystem().defaultPrinter(), "");

  // A second run changes nothing.
  const std::string hive = test::ReadBytes(environment.path("machine/registry.sqlite"));
  const std::string table = test::ReadBytes(environment.path("machine/printers.sqlite"));
  ASSERT_FALSE(hive.empty() || table.empty());
  EXPECT_EQ(test::RunProgram(kSetup, {}), 0);
  EXPECT_EQ(test::ReadBytes(environment.path("machine/registry.sqlite")), hive);
  EXPECT_EQ(test::ReadBytes(environment.path("machine/printers.sqlite")), table);

  // Without rights on the machine directory it fails clearly.
  IsolatedEnvironment locked;
  ASSERT_EQ(chmod(locked.path("machine").c_str(), 0555), 0);
  std::string errors;
  EXPECT_EQ(test::RunProgram(kSetup, {}, nullptr, &errors), 1);
  EXPECT_NE(errors.find("cannot write the machine-wide state in " + locked.path("machine")), std::string::npos)
      << errors;
  EXPECT_TRUE(printSubsystem().installedPrinters().empty());
}

}  // namespace
}  // namespace vd
