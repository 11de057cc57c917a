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

// Creates a key (and its parents) straight in the hive; with a name, writes a value of any
// type code with raw bytes there, bypassing clsRegistry's type rules.
void writeRaw(std::int32_t root, const std::string& path, const std::string& name = {}, std::uint32_t type = 0,
              const std::string& bytes = {}) {
  RegKeyHandle handle = 0;
  ASSERT_EQ(registryHive().createKey(rootHandle(root), path, KEY_ALL_ACCESS, handle, nullptr), ERROR_SUCCESS);
  if (!name.empty()) {
    ASSERT_EQ(registryHive().setValue(handle, name, type, bytes), ERROR_SUCCESS);
  }
  registryHive().closeKey(handle);
}

// The type code and bytes of a value straight from the hive; nothing when it is not there.
std::optional<std::pair<std::uint32_t, std::string>> readRaw(std::int32_t root, const std::string& path,
                                                             const std::string& name) {
  RegKeyHandle handle = 0;
  if (registryHive().openKey(rootHandle(root), path, KEY_READ, handle) != ERROR_SUCCESS) return std::nullopt;
  std::uint32_t type = 0;
  std::string bytes(1 << 16, '\0');
  auto size = static_cast<std::uint32_t>(bytes.size());
  const bool found = registryHive().queryValue(handle, name, &type, bytes.data(), &size) == ERROR_SUCCESS;
  registryHive().closeKey(handle);
  if (!found) return std::nullopt;
  bytes.resize(size);
  return std::make_pair(type, bytes);
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
    std::uint32_t storedType;
    std::string storedBytes;
    std::string read;  // GetValue's text; a list as its items each followed by "|"
    std::optional<RegItems> extra = std::nullopt;
  };
  // Text is bytes: a UTF-8 name and a Latin-1 byte both pass unchanged; names ignore case.
  const std::string eightBit = "caf\xc3\xa9 \xe9 ~";
  const std::vector<Written> values = {
      {"Short", std::string("abc"), REG_SZ, 1, std::string("abc\0", 4), "abc"},
      {"", std::string("default"), REG_SZ, 1, std::string("default\0", 8), "default"},
      {"Eight", eightBit, REG_SZ, 1, eightBit + '\0', eightBit},
      {"Expand", std::string("%HOME%\\x"), REG_EXPAND_SZ, 2, std::string("%HOME%\\x\0", 9), "%HOME%\\x"},
      {"One", std::int64_t{1}, REG_DWORD, 4, std::string("\x01\0\0\0", 4), "01 00 00 00 "},
      {"Negative", std::int64_t{-2}, REG_DWORD, 4, "\xFE\xFF\xFF\xFF", "FE FF FF FF "},
      {"FromText", std::string(" 4660 "), REG_DWORD, 4, std::string("\x34\x12\0\0", 4), "34 12 00 00 "},
      {"Rounded", 2.5, REG_DWORD, 4, std::string("\x02\0\0\0", 4), "02 00 00 00 "},  // halves go to even
      {"Alone", std::string("x"), REG_MULTI_SZ, 7, std::string("x\0\0", 3), "x||"},
      // Null and empty additional items are skipped.
      {"List", std::string("a"), REG_MULTI_SZ, 7, std::string("a\0b\0c\0\0", 7), "a|b|c||",
       RegItems{std::vector<RegItem>{std::string("b"), std::string(""), RegItem{}, std::string(1, '\0'),
                                     std::string("c")}}},
  };
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
  for (const Written& value : values) {
    SCOPED_TRACE(value.name);
    EXPECT_TRUE(registry.CreateValue(value.name, value.value, value.type, value.extra));
    EXPECT_EQ(readRaw(HKEY_LOCAL_MACHINE, kTestKey, value.name), std::make_pair(value.storedType, value.storedBytes));
    const RegValue read = registry.GetValue(value.name);
    std::string text = read.kind() == RegValue::Kind::List ? "" : read.asText();
    for (const std::string& item : read.asList()) text += item + "|";
    EXPECT_EQ(text, value.read);
  }
  EXPECT_EQ(registry.GetValue("SHORT").asText(), "abc");
  EXPECT_EQ(registry.GetValue("One", true).asText(), std::string("\x01\0\0\0", 4));  // raw

  EXPECT_THROW(registry.CreateValue("Bad", std::string("twelve"), REG_DWORD), std::invalid_argument);
  EXPECT_THROW(registry.CreateValue("Big", std::int64_t{1} << 31, REG_DWORD), std::out_of_range);
  EXPECT_THROW(registry.CreateValue("Null", RegItem{}, REG_DWORD), std::invalid_argument);
  EXPECT_TRUE(registry.GetValue("Bad").isEmpty());
  EXPECT_TRUE(registry.GetValue("Big").isEmpty());
  EXPECT_TRUE(registry.CloseRegistry());
}

TEST_F(ClsRegistryTest, OtherTypesReadAsFixedTextsOrRawBytesAndCannotBeWritten) {
  struct Stored {
    const char* name;
    std::uint32_t type;
    std::string bytes;
    std::string read;
  };
  const std::vector<Stored> values = {
      {"Binary", REG_BINARY, "\x0A\xFF", "0A FF "},
      {"BigEndian", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x01", 4), std::string("\0\0\0\x01", 4)},
      {"None", REG_NONE, "zz", "Not defined value_type=REG_NONE"},
      {"Link", REG_LINK, "zz", "Not defined value_type=REG_LINK"},
      {"T8", 8, "zz", "Not defined value_type=REG_RESOURCE_LIST"},
      {"T11", 11, "zz", "value_type=11"},
      // Values whose decoding fails read as the empty text.
      {"EmptyText", REG_SZ, "", ""},
      {"OpenList", REG_MULTI_SZ, std::string("a\0b", 3), ""},
      {"HugeBinary", REG_BINARY, std::string(32768, 'x'), ""}};
  for (const Stored& value : values) writeRaw(HKEY_LOCAL_MACHINE, kTestKey, value.name, value.type, value.bytes);
  test::RecordingMessageBoxes boxes;
  ScopedSeam<MessageBoxes> seam(boxes);
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
  for (const Stored& value : values) {
    EXPECT_EQ(registry.GetValue(value.name).kind(), RegValue::Kind::Text) << value.name;
    EXPECT_EQ(registry.GetValue(value.name).asText(), value.read) << value.name;
  }
  EXPECT_EQ(registry.GetValue("Binary", true).asText(), "\x0A\xFF");
  EXPECT_TRUE(registry.GetValue("Missing").isEmpty());

  // Those types cannot be written: the message, and nothing written.
  for (const std::int32_t type : {REG_BINARY, REG_NONE, REG_DWORD_BIG_ENDIAN, REG_LINK, std::int32_t{11}}) {
    EXPECT_FALSE(registry.CreateValue("Refused", std::string("x"), type)) << type;
  }
  ASSERT_EQ(boxes.shown.size(), 5u);
  EXPECT_EQ(boxes.shown[0].text, "Unable to process that Type of data.");
  EXPECT_EQ(boxes.shown[0].title, "Vellumdock");
  EXPECT_EQ(boxes.shown[0].icon, MessageIcon::None);
  EXPECT_TRUE(registry.GetValue("Refused").isEmpty());

  // A closed object refuses silently, before looking at the type.
  clsRegistry closed;
  EXPECT_FALSE(closed.CreateValue("Refused", std::string("x"), REG_BINARY));
  EXPECT_EQ(boxes.shown.size(), 5u);
}

TEST_F(ClsRegistryTest, OpenCloseAndOneBackOnKeyFollowTheirResultRules) {
  clsRegistry registry;
  EXPECT_FALSE(registry.CloseRegistry());
  EXPECT_FALSE(registry.DeleteValue("x"));

  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, "software\\VELLUMDOCK TEST\\values"), -1);
  EXPECT_TRUE(registry.CreateValue("Kept", std::string("v"), REG_SZ));
  // Root 0 closes the object but keeps the fields.
  EXPECT_EQ(registry.OpenRegistry(0, "Elsewhere"), 0);
  EXPECT_EQ(registry.RegistryRootKey(), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(registry.SubDirectory(), "software\\VELLUMDOCK TEST\\values");
  EXPECT_FALSE(registry.CreateValue("After", std::string("v"), REG_SZ));
  EXPECT_TRUE(registry.GetValue("Kept").isEmpty());
  EXPECT_FALSE(registry.CloseRegistry());

  // A key that does not exist does not open, and nothing is written through it.
  EXPECT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing\\Key"), 0);
  EXPECT_EQ(registry.SubDirectory(), "SOFTWARE\\Missing\\Key");
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

TEST_F(ClsRegistryTest, MachineHiveReadOnlyUnreadableDamagedOrMissing) {
  {
    clsRegistry registry;
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
    ASSERT_TRUE(registry.CreateValue("Version", std::string("8.0"), REG_SZ));
  }
  ASSERT_EQ(chmod(environment.path("machine").c_str(), 0555), 0);
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
  EXPECT_EQ(registry.GetValue("Version").asText(), "8.0");
  EXPECT_FALSE(registry.CreateValue("Version", std::string("9.0"), REG_SZ));
  EXPECT_FALSE(registry.CreateValue("New", std::int64_t{1}, REG_DWORD));
  EXPECT_FALSE(registry.DeleteValue("Version"));
  EXPECT_FALSE(registry.CreateDirectory("Child"));
  EXPECT_EQ(registry.GetValue("Version").asText(), "8.0");
  EXPECT_TRUE(registry.GetValue("New").isEmpty());

  // A hive nobody may read does not open at all.
  ASSERT_EQ(chmod(environment.path("machine").c_str(), 0755), 0);
  ASSERT_EQ(chmod(environment.path("machine/registry.sqlite").c_str(), 0), 0);
  EXPECT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), 0);

  // A damaged hive is reported and left alone.
  const std::string damaged = environment.path("machine/registry.sqlite");
  const std::string garbage = "this is not a hive, but someone's data\n";
  ASSERT_EQ(chmod(damaged.c_str(), 0600), 0);
  test::WriteBytes(damaged, garbage);
  RegistryHive& hive = registryHive();
  RegKeyHandle key = 0;
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_LOCAL_MACHINE), "SOFTWARE\\Adobe", KEY_READ, key), ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(hive.createKey(rootHandle(HKEY_LOCAL_MACHINE), "SOFTWARE\\X", KEY_ALL_ACCESS, key, nullptr),
            ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(test::ReadBytes(damaged), garbage);

  // A missing one reads empty; the root itself opens and holds nothing.
  setenv("VELLUMDOCK_MACHINE_DIR", environment.path("fresh/machine").c_str(), 1);
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_LOCAL_MACHINE), "SOFTWARE\\Adobe", KEY_READ, key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(hive.openKey(rootHandle(HKEY_LOCAL_MACHINE), "", KEY_READ, key), ERROR_SUCCESS);
  std::uint32_t size = 0;
  EXPECT_EQ(hive.queryValue(key, "", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  hive.closeKey(key);
  // Reading created nothing; the first write creates the hive.
  EXPECT_FALSE(test::FileExistsOnDisk(environment.path("fresh")));
  writeRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe");
  EXPECT_TRUE(test::FileExistsOnDisk(environment.path("fresh/machine/registry.sqlite")));
}

TEST_F(ClsRegistryTest, AutoStartEntriesAreDesktopFilesThatComeAndGo) {
  const std::string entry = environment.path("xdg/autostart/Vellumdock.desktop");
  {
    clsRegistry registry;
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kRunKey), -1);
    EXPECT_TRUE(registry.CreateValue("Vellumdock", kAutoStartData, REG_SZ));
  }
  // The installer's Windows path names the program installed on this machine.
  test::ExpectContainsAll(test::ReadBytes(entry), {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Vellumdock\n",
                                                   "\nExec=" + programDir() + "/vellumdk m\n"});
  clsRegistry reader;
  ASSERT_EQ(reader.OpenRegistry(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion\\run"), -1);
  EXPECT_EQ(reader.GetValue("vellumdock").asText(), kAutoStartData);
  EXPECT_TRUE(reader.DeleteValue("Vellumdock"));
  EXPECT_FALSE(test::FileExistsOnDisk(entry));
  EXPECT_FALSE(reader.DeleteValue("Vellumdock"));

  // Names that cannot be file names never reach the autostart folder.
  RegKeyHandle run = 0;
  ASSERT_EQ(registryHive().openKey(rootHandle(HKEY_LOCAL_MACHINE), kRunKey, 0x2000F, run), ERROR_SUCCESS);
  for (const char* name : {"a/b", "", ".."}) {
    EXPECT_EQ(registryHive().setValue(run, name, 1, std::string("x\0", 2)), ERROR_INVALID_PARAMETER) << name;
  }
  registryHive().closeKey(run);
  EXPECT_TRUE(test::DirectoryEntries(environment.path("xdg/autostart")).empty());
}

TEST_F(ClsRegistryTest, HiveKeysCompareWithoutCaseBeyondAsciiAndMalformedPathsAreRefused) {
  RegistryHive& hive = registryHive();
  RegKeyHandle key = 0;
  ASSERT_EQ(hive.createKey(rootHandle(HKEY_CURRENT_USER), "Software\\Über\\Key", KEY_ALL_ACCESS, key, nullptr), 0);
  ASSERT_EQ(hive.setValue(key, "Name", 1, std::string("v\0", 2)), ERROR_SUCCESS);
  EXPECT_EQ(hive.closeKey(key), ERROR_SUCCESS);
  EXPECT_EQ(hive.closeKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(readRaw(HKEY_CURRENT_USER, "SOFTWARE\\über\\KEY\\", "NAME"), std::make_pair(1u, std::string("v\0", 2)));
  // The keys between were made too.
  ASSERT_EQ(hive.openKey(rootHandle(HKEY_CURRENT_USER), "software\\ÜBER", KEY_READ, key), ERROR_SUCCESS);
  hive.closeKey(key);
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_CURRENT_USER), "\\Software", KEY_READ, key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(hive.createKey(rootHandle(HKEY_CURRENT_USER), "a\\\\b", KEY_ALL_ACCESS, key, nullptr), ERROR_BAD_PATHNAME);
  EXPECT_EQ(hive.openKey(rootHandle(HKEY_USERS), "x", KEY_READ, key), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace vd
