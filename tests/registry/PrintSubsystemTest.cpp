// The print subsystem: the machine's printer table and the user's profile sections that
// name the default printer, kept consistent both ways.
#include "platform/PrintSubsystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/IsolatedEnvironment.h"

namespace vd {
namespace {

class PrintSubsystemTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(printers.installPrinter(PrinterRecord{"Laser", "winspool", "Ne00:"}));
    ASSERT_TRUE(printers.installPrinter(PrinterRecord{"Adobe PDF", "Adobe PDF Converter", "Documents\\*.pdf (Adobe PDF)"}));
  }
  IsolatedEnvironment environment;
  PrintSubsystem& printers = printSubsystem();
};

TEST_F(PrintSubsystemTest, TableKeepsInstallOrderAndFeedsThePortsSection) {
  EXPECT_EQ(printers.installedPrinters(), (std::vector<std::string>{"Laser", "Adobe PDF"}));
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

TEST_F(PrintSubsystemTest, AttributeFourAndTheDeviceEntryNameTheSameDefault) {
  EXPECT_EQ(printers.defaultPrinter(), "");
  auto info = printers.getPrinter5("Laser");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->attributes, 0u);

  // The attribute way.
  info->attributes = PRINTER_ATTRIBUTE_DEFAULT;
  ASSERT_TRUE(printers.setPrinter5("Laser", *info));
  EXPECT_EQ(printers.defaultPrinter(), "Laser");
  EXPECT_EQ(printers.getProfileString("windows", "Device", ""), "Laser,winspool,Ne00:");

  // The profile way moves the flag.
  ASSERT_TRUE(printers.writeProfileString("windows", "Device", "Adobe PDF,Adobe PDF Converter,Documents\\*.pdf"));
  EXPECT_EQ(printers.defaultPrinter(), "Adobe PDF");
  EXPECT_EQ(printers.getPrinter5("Adobe PDF")->attributes, PRINTER_ATTRIBUTE_DEFAULT);
  EXPECT_EQ(printers.getPrinter5("Laser")->attributes, 0u);

  // A Device entry naming no installed printer means no default.
  ASSERT_TRUE(printers.writeProfileString("windows", "Device", "Gone,winspool,LPT1:"));
  EXPECT_EQ(printers.defaultPrinter(), "");
  EXPECT_EQ(printers.getPrinter5("Laser")->attributes, 0u);
  // Level 5 cannot rename.
  auto laser = *printers.getPrinter5("Laser");
  laser.printerName = "Other";
  EXPECT_FALSE(printers.setPrinter5("Laser", laser));
  EXPECT_FALSE(printers.setPrinter5("Missing", laser));
}

TEST_F(PrintSubsystemTest, DefaultIsPerUserAndTheTableNeedsMachineRights) {
  auto info = *printers.getPrinter5("Laser");
  info.attributes = PRINTER_ATTRIBUTE_DEFAULT;
  ASSERT_TRUE(printers.setPrinter5("Laser", info));
  // The machine directory becomes read-only: the table cannot change, the user's default can.
  ASSERT_EQ(chmod(environment.path("machine").c_str(), 0555), 0);
  EXPECT_FALSE(printers.installPrinter(PrinterRecord{"Third", "winspool", "LPT2:"}));
  EXPECT_EQ(printers.installedPrinters().size(), 2u);
  auto pdf = *printers.getPrinter5("Adobe PDF");
  pdf.attributes = PRINTER_ATTRIBUTE_DEFAULT;
  EXPECT_TRUE(printers.setPrinter5("Adobe PDF", pdf));
  EXPECT_EQ(printers.defaultPrinter(), "Adobe PDF");
  pdf.attributes = PRINTER_ATTRIBUTE_DEFAULT | 0x40;  // would change the machine's table
  EXPECT_FALSE(printers.setPrinter5("Adobe PDF", pdf));
  EXPECT_EQ(printers.getPrinter5("Adobe PDF")->attributes, PRINTER_ATTRIBUTE_DEFAULT);

  // Another user (another data directory) has a default of their own.
  setenv("XDG_DATA_HOME", environment.path("other-user").c_str(), 1);
  EXPECT_EQ(printers.defaultPrinter(), "");
  EXPECT_EQ(printers.installedPrinters().size(), 2u);
}

}  // namespace
}  // namespace vd
