// clsRegistry and the hive store under it, in a scratch machine and user directory: types
// and results, handles, missing and damaged hives, and the autostart-backed Run key.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/Locations.h"
#include "platform/RegistryHive.h"
#include "registry/clsRegistry.h"
#include "support/ContentChecks.h"
#include "support/IsolatedEnvironment.h"
#include "support/ServerDoubles.h"

namespace vd {
namespace {

constexpr const char* kTestKey = "SOFTWARE\\Vellumdock Test\\Values";
constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kAutoStartData = "\"C:\\Program Files\\Vellumdock\\vellumdk.exe\" m";

// Writes straight into the hive, bypassing clsRegistry's type rules: a key, and a value of any type.
void writeRaw(std::int32_t root, const std::string& path, const std::string& name = {}, std::uint32_t type = 0,
              const std::string& bytes = {}) {
  RegKeyHandle handle = 0;
  ASSERT_EQ(registryHive().createKey(rootHandle(root), path, KEY_ALL_ACCESS, handle, nullptr), ERROR_SUCCESS);
  if (!name.empty()) {
    ASSERT_EQ(registryHive().setValue(handle, name, type, bytes), ERROR_SUCCESS);
  }
  registryHive().closeKey(handle);
}

std::optional<std::pair<std::uint32_t, std::string>> readRaw(std::int32_t root, const std::string& path,
                                                             const std::string& name) {
  RegKeyHandle handle = 0;
  if (registryHive().openKey(rootHandle(root), path, KEY_READ, handle) != ERROR_SUCCESS) return std::nullopt;
  std::uint32_t type = 0;
  std::string bytes(1 << 16, '\0');
  auto size = static_cast<std::uint32_t>(bytes.size());
  const bool found = registryHive().queryValue(handle, name, &type, bytes.data(), &size) == ERROR_SUCCESS;
  registryHive().closeKey(handle);
  bytes.resize(size);
  return found ? std::optional(std::make_pair(type, bytes)) : std::nullopt;
}

class ClsRegistryTest : public testing::Test {
 protected:
  void SetUp() override { writeRaw(HKEY_LOCAL_MACHINE, kTestKey); }
  IsolatedEnvironment environment;
};

TEST_F(ClsRegistryTest, EveryWritableTypeRoundTripsWithItsStoredBytes) {
  struct Written {
    const char* name;
    RegItem value;
    std::int32_t type;
    std::string storedBytes;  // stored under the type asked for
    std::string read;         // GetValue's text; a list as its items each followed by "|"
    std::optional<RegItems> extra = std::nullopt;
  };
  // Text is bytes: a UTF-8 name and a Latin-1 byte both pass unchanged; names ignore case.
  const std::string eightBit = "caf\xc3\xa9 \xe9 ~";
  const std::vector<Written> values = {
      {"Short", std::string("abc"), REG_SZ, std::string("abc\0", 4), "abc"},
      {"Eight", eightBit, REG_SZ, eightBit + '\0', eightBit},
      {"Expand", std::string("%HOME%\\x"), REG_EXPAND_SZ, std::string("%HOME%\\x\0", 9), "%HOME%\\x"},
      {"Negative", std::int64_t{-2}, REG_DWORD, "\xFE\xFF\xFF\xFF", "FE FF FF FF "},
      {"FromText", std::string(" 4660 "), REG_DWORD, std::string("\x34\x12\0\0", 4), "34 12 00 00 "},
      {"Rounded", 2.5, REG_DWORD, std::string("\x02\0\0\0", 4), "02 00 00 00 "},  // halves go to even
      // Null and empty additional items are skipped.
      {"List", std::string("a"), REG_MULTI_SZ, std::string("a\0b\0c\0\0", 7), "a|b|c||",
       RegItems{std::vector<RegItem>{std::string("b"), std::string(""), RegItem{}, std::string(1, '\0'),
                                     std::string("c")}}},
  };
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
  for (const Written& value : values) {
    SCOPED_TRACE(value.name);
    EXPECT_TRUE(registry.CreateValue(value.name, value.value, value.type, value.extra));
    EXPECT_EQ(readRaw(HKEY_LOCAL_MACHINE, kTestKey, value.name),
              std::make_pair(static_cast<std::uint32_t>(value.type), value.storedBytes));
    const RegValue read = registry.GetValue(value.name);
    std::string text = read.kind() == RegValue::Kind::List ? "" : read.asText();
    for (const std::string& item : read.asList()) text += item + "|";
    EXPECT_EQ(text, value.read);
  }
  EXPECT_EQ(registry.GetValue("SHORT").asText(), "abc");

  EXPECT_THROW(registry.CreateValue("Bad", std::string("twelve"), REG_DWORD), std::invalid_argument);
  EXPECT_THROW(registry.CreateValue("Big", std::int64_t{1} << 31, REG_DWORD), std::out_of_range);
  EXPECT_TRUE(registry.GetValue("Bad").isEmpty() && registry.GetValue("Big").isEmpty());  // nothing written
}

TEST_F(ClsRegistryTest, OtherTypesReadAsFixedTextsOrRawBytesAndCannotBeWritten) {
  // Values whose decoding fails (no terminator, too long) read as the empty text.
  const std::vector<std::tuple<const char*, std::uint32_t, std::string, std::string>> values = {
      {"Binary", REG_BINARY, "\x0A\xFF", "0A FF "},
      {"BigEndian", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x01", 4), std::string("\0\0\0\x01", 4)},
      {"T8", 8, "zz", "Not defined value_type=REG_RESOURCE_LIST"},
      {"T11", 11, "zz", "value_type=11"},
      {"OpenList", REG_MULTI_SZ, std::string("a\0b", 3), ""},
      {"HugeBinary", REG_BINARY, std::string(32768, 'x'), ""}};
  for (const auto& [name, type, bytes, read] : values) writeRaw(HKEY_LOCAL_MACHINE, kTestKey, name, type, bytes);
  test::RecordingMessageBoxes boxes;
  ScopedSeam<MessageBoxes> seam(boxes);
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
  for (const auto& [name, type, bytes, read] : values) {
    EXPECT_EQ(registry.GetValue(name).kind(), RegValue::Kind::Text) << name;
    EXPECT_EQ(registry.GetValue(name).asText(), read) << name;
  }

  // Those types cannot be written: the message, and nothing written.
  for (const std::int32_t type : {REG_BINARY, REG_DWORD_BIG_ENDIAN, std::int32_t{11}}) {
    EXPECT_FALSE(registry.CreateValue("Refused", std::string("x"), type)) << type;
  }
  ASSERT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(boxes.shown[0].text, "Unable to process that Type of data.");
  EXPECT_TRUE(registry.GetValue("Refused").isEmpty());
}

TEST_F(ClsRegistryTest, OpenCloseAndOneBackOnKeyFollowTheirResultRules) {
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, "software\\VELLUMDOCK TEST\\values"), -1);
  // Root 0 closes the object but keeps the fields.
  EXPECT_EQ(registry.OpenRegistry(0, "Elsewhere"), 0);
  EXPECT_EQ(registry.SubDirectory(), "software\\VELLUMDOCK TEST\\values");
  EXPECT_FALSE(registry.CreateValue("After", std::string("v"), REG_SZ));
  EXPECT_FALSE(registry.CloseRegistry());

  // A key that does not exist does not open, and nothing is written through it.
  EXPECT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing\\Key"), 0);
  EXPECT_FALSE(registry.CreateValue("x", std::string("v"), REG_SZ));

  // One back on the key reopens the parent.
  writeRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Acrobat Distiller\\8.0\\PrinterName");
  writeRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Acrobat Distiller\\8.0", "Marker", REG_SZ, std::string("up\0", 3));
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Acrobat Distiller\\8.0\\PrinterName"), -1);
  EXPECT_TRUE(registry.OneBackOnKey().isEmpty());
  EXPECT_EQ(registry.SubDirectory(), "SOFTWARE\\Adobe\\Acrobat Distiller\\8.0");
  EXPECT_EQ(registry.GetValue("Marker").asText(), "up");
  // One component: invalid argument, nothing changes, the key stays open.
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE"), -1);
  EXPECT_THROW(registry.OneBackOnKey(), std::invalid_argument);
  EXPECT_EQ(registry.SubDirectory(), "SOFTWARE");
  EXPECT_TRUE(registry.CloseRegistry());
}

TEST_F(ClsRegistryTest, MachineHiveReadOnlyDamagedOrMissing) {
  {
    clsRegistry registry;
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
    ASSERT_TRUE(registry.CreateValue("Version", std::string("8.0"), REG_SZ));
  }
  ASSERT_EQ(chmod(environment.path("machine").c_str(), 0555), 0);
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
  EXPECT_FALSE(registry.CreateValue("Version", std::string("9.0"), REG_SZ));
  EXPECT_FALSE(registry.DeleteValue("Version"));
  EXPECT_EQ(registry.GetValue("Version").asText(), "8.0");

  // A damaged hive is reported and left alone.
  const std::string damaged = environment.path("machine/registry.sqlite");
  const std::string garbage = "this is not a hive, but someone's data\n";
  ASSERT_EQ(chmod(environment.path("machine").c_str(), 0755), 0);
  test::WriteBytes(damaged, garbage);
  RegistryHive& hive = registryHive();
  RegKeyHandle key = 0;
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_LOCAL_MACHINE), "SOFTWARE\\Adobe", KEY_READ, key), ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(hive.createKey(rootHandle(HKEY_LOCAL_MACHINE), "SOFTWARE\\X", KEY_ALL_ACCESS, key, nullptr),
            ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(test::ReadBytes(damaged), garbage);

  // A missing one reads empty, and reading creates nothing; the first write creates the hive.
  setenv("VELLUMDOCK_MACHINE_DIR", environment.path("fresh/machine").c_str(), 1);
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_LOCAL_MACHINE), "SOFTWARE\\Adobe", KEY_READ, key), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(test::FileExistsOnDisk(environment.path("fresh")));
  writeRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe");
  EXPECT_TRUE(test::FileExistsOnDisk(environment.path("fresh/machine/registry.sqlite")));
}

// The window's option makes, reads and removes the entry; here, what it starts and which names may be entries.
TEST_F(ClsRegistryTest, AutoStartEntriesStartTheInstalledProgramAndOnlyFileNamesBecomeEntries) {
  {
    clsRegistry registry;
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kRunKey), -1);
    EXPECT_TRUE(registry.CreateValue("Vellumdock", kAutoStartData, REG_SZ));
  }
  // The installer's Windows path names the program installed on this machine.
  test::ExpectContainsAll(test::ReadBytes(environment.path("xdg/autostart/Vellumdock.desktop")),
                          {"[Desktop Entry]\n", "\nExec=" + programDir() + "/vellumdk m\n"});

  // Names that cannot be file names never reach the autostart folder.
  RegKeyHandle run = 0;
  ASSERT_EQ(registryHive().openKey(rootHandle(HKEY_LOCAL_MACHINE), kRunKey, 0x2000F, run), ERROR_SUCCESS);
  for (const char* name : {"a/b", "", ".."}) {
    EXPECT_EQ(registryHive().setValue(run, name, 1, std::string("x\0", 2)), ERROR_INVALID_PARAMETER) << name;
  }
  registryHive().closeKey(run);
  EXPECT_EQ(test::DirectoryEntries(environment.path("xdg/autostart")), std::vector<std::string>{"Vellumdock.desktop"});
}

TEST_F(ClsRegistryTest, HiveKeysCompareWithoutCaseBeyondAsciiAndMalformedPathsAreRefused) {
  RegistryHive& hive = registryHive();
  RegKeyHandle key = 0;
  ASSERT_EQ(hive.createKey(rootHandle(HKEY_CURRENT_USER), "Software\\Über\\Key", KEY_ALL_ACCESS, key, nullptr), 0);
  ASSERT_EQ(hive.setValue(key, "Name", 1, std::string("v\0", 2)), ERROR_SUCCESS);
  EXPECT_EQ(hive.closeKey(key), ERROR_SUCCESS);
  EXPECT_EQ(readRaw(HKEY_CURRENT_USER, "SOFTWARE\\über\\KEY\\", "NAME"), std::make_pair(1u, std::string("v\0", 2)));
  // The keys between were made too.
  ASSERT_EQ(hive.openKey(rootHandle(HKEY_CURRENT_USER), "software\\ÜBER", KEY_READ, key), ERROR_SUCCESS);
  hive.closeKey(key);
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_CURRENT_USER), "\\Software", KEY_READ, key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(hive.createKey(rootHandle(HKEY_CURRENT_USER), "a\\\\b", KEY_ALL_ACCESS, key, nullptr), ERROR_BAD_PATHNAME);
}

}  // namespace
}  // namespace vd
