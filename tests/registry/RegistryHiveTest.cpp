// The hive store under clsRegistry: handles, missing and damaged hives,
// and the autostart-backed Run key.
#include "platform/RegistryHive.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "common/Locations.h"
#include "platform/AutostartEntries.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"

namespace vd {
namespace {

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class RegistryHiveTest : public testing::Test {
 protected:
  RegKeyHandle create(std::int32_t root, const std::string& path) {
    RegKeyHandle handle = 0;
    EXPECT_EQ(hive.createKey(rootHandle(root), path, KEY_ALL_ACCESS, handle, nullptr), ERROR_SUCCESS) << path;
    return handle;
  }
  IsolatedEnvironment environment;
  RegistryHive& hive = registryHive();
};

TEST_F(RegistryHiveTest, HandlesAreReleasedOnceAndKeysCompareWithoutCase) {
  std::uint32_t disposition = 0;
  RegKeyHandle first = 0;
  ASSERT_EQ(hive.createKey(rootHandle(HKEY_CURRENT_USER), "Software\\Über\\Key", KEY_ALL_ACCESS, first, &disposition), 0);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegKeyHandle second = 0;
  ASSERT_EQ(hive.createKey(rootHandle(HKEY_CURRENT_USER), "SOFTWARE\\über\\KEY\\", KEY_ALL_ACCESS, second, &disposition), 0);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  EXPECT_NE(first, second);
  ASSERT_EQ(hive.setValue(first, "Name", 1, std::string("v\0", 2)), ERROR_SUCCESS);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  EXPECT_EQ(hive.queryValue(second, "NAME", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 2u);
  // Intermediate keys were created too.
  RegKeyHandle middle = 0;
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_CURRENT_USER), "software\\ÜBER", KEY_READ, middle), ERROR_SUCCESS);

  EXPECT_EQ(hive.closeKey(first), ERROR_SUCCESS);
  EXPECT_EQ(hive.closeKey(first), ERROR_INVALID_HANDLE);
  EXPECT_EQ(hive.setValue(first, "Name", 1, "x"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(hive.closeKey(second), ERROR_SUCCESS);
  EXPECT_EQ(hive.closeKey(middle), ERROR_SUCCESS);

  RegKeyHandle bad = 0;
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_CURRENT_USER), "\\Software", KEY_READ, bad), ERROR_BAD_PATHNAME);
  EXPECT_EQ(hive.createKey(rootHandle(HKEY_CURRENT_USER), "a\\\\b", KEY_ALL_ACCESS, bad, nullptr), ERROR_BAD_PATHNAME);
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_USERS), "x", KEY_READ, bad), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryHiveTest, MissingMachineDirectoryReadsEmptyAndIsCreatedWhenItCanBe) {
  setenv("VELLUMDOCK_MACHINE_DIR", environment.path("fresh/machine").c_str(), 1);
  RegKeyHandle key = 0;
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_LOCAL_MACHINE), "SOFTWARE\\Adobe", KEY_READ, key), ERROR_FILE_NOT_FOUND);
  // The root itself opens and holds nothing.
  ASSERT_EQ(hive.openKey(rootHandle(HKEY_LOCAL_MACHINE), "", KEY_READ, key), ERROR_SUCCESS);
  std::uint32_t size = 0;
  EXPECT_EQ(hive.queryValue(key, "", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  hive.closeKey(key);
  // Reading created nothing.
  struct stat info {};
  EXPECT_NE(stat(environment.path("fresh").c_str(), &info), 0);
  hive.closeKey(create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe"));
  EXPECT_EQ(stat(environment.path("fresh/machine/registry.sqlite").c_str(), &info), 0);
}

TEST_F(RegistryHiveTest, DamagedHiveIsReportedAndLeftAlone) {
  const std::string path = environment.path("machine/registry.sqlite");
  const std::string garbage = "this is not a hive, but someone's data\n";
  { std::ofstream(path, std::ios::binary) << garbage; }
  RegKeyHandle key = 0;
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_LOCAL_MACHINE), "SOFTWARE\\Adobe", KEY_READ, key), ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(hive.createKey(rootHandle(HKEY_LOCAL_MACHINE), "SOFTWARE\\X", KEY_ALL_ACCESS, key, nullptr),
            ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(test::ReadBytes(path), garbage);
}

TEST_F(RegistryHiveTest, RunKeyValuesAreDesktopEntries) {
  RegKeyHandle run = 0;
  ASSERT_EQ(hive.openKey(rootHandle(HKEY_LOCAL_MACHINE), kRunKey, 0x2000F, run), ERROR_SUCCESS);
  // Only text can be a command line; names that cannot be file names are refused.
  EXPECT_EQ(hive.setValue(run, "Binary", 3, "xx"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(hive.setValue(run, "a/b", 1, std::string("x\0", 2)), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(hive.setValue(run, "", 1, std::string("x\0", 2)), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(hive.setValue(run, "..", 1, std::string("x\0", 2)), ERROR_INVALID_PARAMETER);
  // Rewriting a value under another spelling keeps one entry.
  ASSERT_EQ(hive.setValue(run, "Tool", 1, std::string("first\0", 6)), ERROR_SUCCESS);
  ASSERT_EQ(hive.setValue(run, "TOOL", 1, std::string("second\0", 7)), ERROR_SUCCESS);
  struct stat info {};
  EXPECT_EQ(stat(environment.path("xdg/autostart/Tool.desktop").c_str(), &info), 0);
  EXPECT_NE(stat(environment.path("xdg/autostart/TOOL.desktop").c_str(), &info), 0);
  std::string data(32, '\0');
  std::uint32_t size = 32;
  std::uint32_t type = 0;
  ASSERT_EQ(hive.queryValue(run, "tool", &type, data.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, 1u);
  EXPECT_EQ(data.substr(0, size), std::string("second\0", 7));
  // An entry an administrator disabled counts as absent.
  { std::ofstream(environment.path("xdg/autostart/Off.desktop")) << "[Desktop Entry]\nExec=off\nHidden=true\n"; }
  EXPECT_EQ(hive.queryValue(run, "Off", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  hive.closeKey(run);
}

}  // namespace
}  // namespace vd
