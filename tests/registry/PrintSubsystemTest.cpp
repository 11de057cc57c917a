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
  void setAttributes(const std::string& name, std::uint32_t attributes, bool accepted = true) {
    auto info = printers.getPrinter5(name);
    ASSERT_TRUE(info);
    info->attributes = attributes;
    EXPECT_EQ(printers.setPrinter5(name, *info), accepted) << name;
  }
  IsolatedEnvironment environment;
  PrintSubsystem& printers = printSubsystem();
};

TEST_F(PrintSubsystemTest, TableKeepsInstallOrderAndFeedsThePortsSection) {
  // Installing again replaces in place.
  ASSERT_TRUE(printers.installPrinter(PrinterRecord{"LASER", "winspool", "LPT1:"}));
  EXPECT_EQ(printers.installedPrinters(), (std::vector<std::string>{"LASER", "Adobe PDF"}));
  EXPECT_EQ(printers.getProfileString("PrinterPorts", "laser", "none"), "winspool,LPT1:,15,45");
  EXPECT_EQ(printers.getProfileString("printerports", "Adobe PDF", "none"),
            "Adobe PDF Converter,Documents\\*.pdf (Adobe PDF),15,45");
  // The section follows the table; it cannot be written around it.
  EXPECT_FALSE(printers.writeProfileString("PrinterPorts", "Fake", "x,y,15,45"));
  EXPECT_EQ(printers.getProfileString("PrinterPorts", "Fake", "none"), "none");
}

TEST_F(PrintSubsystemTest, AttributeAndDeviceEntryNameTheSameDefaultPerUserWithoutMachineRights) {
  EXPECT_EQ(printers.defaultPrinter(), "");
  EXPECT_EQ(printers.getPrinter5("Laser")->attributes, 0u);
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
  // Level 5 cannot rename.
  auto laser = *printers.getPrinter5("Laser");
  laser.printerName = "Other";
  EXPECT_FALSE(printers.setPrinter5("Laser", laser));
  EXPECT_FALSE(printers.setPrinter5("Missing", laser));

  // The machine directory becomes read-only: the table cannot change, the user's default can.
  ASSERT_EQ(chmod(environment.path("machine").c_str(), 0555), 0);
  EXPECT_FALSE(printers.installPrinter(PrinterRecord{"Third", "winspool", "LPT2:"}));
  EXPECT_EQ(printers.installedPrinters().size(), 2u);
  setAttributes("Adobe PDF", PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_EQ(printers.defaultPrinter(), "Adobe PDF");
  setAttributes("Adobe PDF", PRINTER_ATTRIBUTE_DEFAULT | 0x40, false);  // would change the machine's table
  EXPECT_EQ(printers.getPrinter5("Adobe PDF")->attributes, PRINTER_ATTRIBUTE_DEFAULT);
  // Another user (another data directory) has a default of their own.
  setenv("XDG_DATA_HOME", environment.path("other-user").c_str(), 1);
  EXPECT_EQ(printers.defaultPrinter(), "");
  EXPECT_EQ(printers.installedPrinters().size(), 2u);
}

TEST_F(PrintSubsystemTest, SetDefPrinterTakesTheFamilysWayAndChangesNothingForUnknownPrinters) {
  // Old attribute bits on the printer show whether the attribute way replaced them.
  ASSERT_TRUE(printers.installPrinter(PrinterRecord{"Laser", "winspool", "Ne00:", 0x40}));
  setAttributes("Adobe PDF", PRINTER_ATTRIBUTE_DEFAULT);
  const WindowHandle listener = windowTable().registerWindow("Listener", "any window");
  struct Row {
    const char* platformId;
    std::string printer;
    std::string defaultAfter;
    std::string deviceAfter;
    std::uint32_t laserAttributes;
    bool broadcast;
  };
  const std::string pdfDevice = "Adobe PDF,Adobe PDF Converter,Documents\\*.pdf (Adobe PDF)";
  for (const Row& row : std::initializer_list<Row>{
           {"2", "", "Adobe PDF", pdfDevice, 0x40, false},
           {"2", "Missing", "Adobe PDF", pdfDevice, 0x40, false},
           // The time-outs of the ports entry are not part of the device entry.
           {"2", "laser", "Laser", "laser,winspool,Ne00:", 0x40 | PRINTER_ATTRIBUTE_DEFAULT, true},
           {"1", "", "Adobe PDF", pdfDevice, 0x40, false},
           {"1", "Missing", "Adobe PDF", pdfDevice, 0x40, false},
           {"1", "Laser", "Laser", "Laser,winspool,Ne00:", PRINTER_ATTRIBUTE_DEFAULT, false},
       }) {
    SCOPED_TRACE(std::string(row.platformId) + " '" + row.printer + "'");
    environment.set("VELLUMDOCK_PLATFORM_ID", row.platformId);
    setAttributes("Adobe PDF", PRINTER_ATTRIBUTE_DEFAULT);
    auto laser = *printers.getPrinter5("Laser");
    laser.attributes = 0x40;
    ASSERT_TRUE(printers.setPrinter5("Laser", laser));
    windowTable().takeMessages(listener);

    CreatePDF(EngineDetection{}).SetDefPrinter(row.printer);
    EXPECT_EQ(printers.defaultPrinter(), row.defaultAfter);
    EXPECT_EQ(printers.getProfileString("windows", "Device", ""), row.deviceAfter);
    EXPECT_EQ(printers.getPrinter5("Laser")->attributes, row.laserAttributes);
    const auto messages = windowTable().takeMessages(listener);
    ASSERT_EQ(messages.size(), row.broadcast ? 1u : 0u);
    if (row.broadcast) {
      EXPECT_EQ(messages[0].message, WM_WININICHANGE);
      EXPECT_EQ(messages[0].wParam, 0);
      EXPECT_EQ(messages[0].lParam, "windows");
    }
  }
  windowTable().unregisterWindow(listener);
}

std::string machineDefault(const std::string& key) {
  clsRegistry registry;
  if (registry.OpenRegistry(HKEY_LOCAL_MACHINE, key) == 0) return "<no key>";
  return registry.GetValue("").asText();
}

TEST(SetupProgramTest, InstallsThePrinterAndKeysKeepsOtherPrintersAndRepairsWhatChanged) {
  IsolatedEnvironment environment;
  ASSERT_TRUE(printSubsystem().installPrinter(PrinterRecord{"Laser", "winspool", "Ne00:"}));
  runSetup(environment);
  EXPECT_EQ(printSubsystem().installedPrinters(), (std::vector<std::string>{"Laser", "Adobe PDF", "Acrobat PDFWriter"}));
  EXPECT_EQ(printSubsystem().getProfileString("PrinterPorts", "Adobe PDF", ""),
            "Adobe PDF Converter,Documents\\*.pdf (Adobe PDF),15,45");
  EXPECT_EQ(printSubsystem().getProfileString("PrinterPorts", "Acrobat PDFWriter", ""), "Acrobat PDFWriter,LPT1:,15,45");
  EXPECT_EQ(machineDefault("SOFTWARE\\Classes\\AcroExch.App\\AcrobatVersion"), "8.0");
  EXPECT_EQ(machineDefault("SOFTWARE\\Adobe\\Acrobat Distiller\\8.0\\PrinterName"), "Adobe PDF");
  // Set-up is a machine matter: it chooses no default printer for anyone.
  EXPECT_EQ(printSubsystem().defaultPrinter(), "");

  // A second run changes nothing.
  const std::string hive = test::ReadBytes(environment.path("machine/registry.sqlite"));
  const std::string table = test::ReadBytes(environment.path("machine/printers.sqlite"));
  ASSERT_FALSE(hive.empty() || table.empty());
  std::string out;
  EXPECT_EQ(test::RunProgram(kSetup, {}, &out), 0);
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
