// clsRegistry against the real hive store in a scratch machine and user directory.
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

// Creates a key (and its parents) straight in the hive.
void createKey(std::int32_t root, const std::string& path) {
  RegKeyHandle handle = 0;
  ASSERT_EQ(registryHive().createKey(rootHandle(root), path, KEY_ALL_ACCESS, handle, nullptr), ERROR_SUCCESS);
  registryHive().closeKey(handle);
}

// Writes a value of any type code with raw bytes, bypassing clsRegistry's type rules.
void writeRaw(std::int32_t root, const std::string& path, const std::string& name, std::uint32_t type,
              const std::string& bytes) {
  RegKeyHandle handle = 0;
  ASSERT_EQ(registryHive().createKey(rootHandle(root), path, KEY_ALL_ACCESS, handle, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(registryHive().setValue(handle, name, type, bytes), ERROR_SUCCESS);
  registryHive().closeKey(handle);
}

std::optional<std::pair<std::uint32_t, std::string>> readRaw(std::int32_t root, const std::string& path,
                                                             const std::string& name) {
  RegKeyHandle handle = 0;
  if (registryHive().openKey(rootHandle(root), path, KEY_READ, handle) != ERROR_SUCCESS) return std::nullopt;
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::optional<std::pair<std::uint32_t, std::string>> result;
  if (registryHive().queryValue(handle, name, &type, nullptr, &size) == ERROR_SUCCESS) {
    std::string bytes(size, '\0');
    if (registryHive().queryValue(handle, name, &type, bytes.data(), &size) == ERROR_SUCCESS) {
      result.emplace(type, bytes);
    }
  }
  registryHive().closeKey(handle);
  return result;
}

class ClsRegistryTest : public testing::Test {
 protected:
  void SetUp() override { createKey(HKEY_LOCAL_MACHINE, kTestKey); }
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
  };
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
  for (const Written& value : values) {
    SCOPED_TRACE(value.name);
    EXPECT_TRUE(registry.CreateValue(value.name, value.value, value.type));
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

TEST_F(ClsRegistryTest, MultiStringSkipsNullAndEmptyAdditionalItems) {
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
  const std::vector<RegItem> extra{std::string("b"), std::string(""), RegItem{}, std::string(1, '\0'),
                                   std::string("c")};
  EXPECT_TRUE(registry.CreateValue("List", std::string("a"), REG_MULTI_SZ, RegItems{extra}));
  EXPECT_EQ(readRaw(HKEY_LOCAL_MACHINE, kTestKey, "List"), std::make_pair(7u, std::string("a\0b\0c\0\0", 7)));
  const RegValue list = registry.GetValue("List");
  ASSERT_EQ(list.kind(), RegValue::Kind::List);
  EXPECT_EQ(list.asList(), (std::vector<std::string>{"a", "b", "c", ""}));
}

TEST_F(ClsRegistryTest, OtherTypesReadAsFixedTextsOrRawBytes) {
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
      {"T9", 9, "zz", "Not defined value_type=REG_FULL_RESOURCE_DESCRIPTOR"},
      {"T10", 10, "zz", "Not defined value_type=REG_RESOURCE_REQUIREMENTS_LIST"},
      {"T11", 11, "zz", "value_type=11"},
      // Values whose decoding fails read as the empty text.
      {"EmptyText", REG_SZ, "", ""},
      {"OpenList", REG_MULTI_SZ, std::string("a\0b", 3), ""},
      {"HugeBinary", REG_BINARY, std::string(32768, 'x'), ""}};
  for (const Stored& value : values) writeRaw(HKEY_LOCAL_MACHINE, kTestKey, value.name, value.type, value.bytes);

  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
  for (const Stored& value : values) {
    EXPECT_EQ(registry.GetValue(value.name).kind(), RegValue::Kind::Text) << value.name;
    EXPECT_EQ(registry.GetValue(value.name).asText(), value.read) << value.name;
  }
  EXPECT_EQ(registry.GetValue("Binary", true).asText(), "\x0A\xFF");
  EXPECT_TRUE(registry.GetValue("Missing").isEmpty());
}

TEST_F(ClsRegistryTest, UnsupportedWriteTypesShowTheMessageAndWriteNothing) {
  test::RecordingMessageBoxes boxes;
  ScopedSeam<MessageBoxes> seam(boxes);
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
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

TEST_F(ClsRegistryTest, OpenAndCloseFollowTheirResultRules) {
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
}

TEST_F(ClsRegistryTest, OneBackOnKeyReopensTheParent) {
  createKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Acrobat Distiller\\8.0\\PrinterName");
  writeRaw(HKEY_LOCAL_MACHINE, "SOFTWARE\\Adobe\\Acrobat Distiller\\8.0", "Marker", REG_SZ, std::string("up\0", 3));
  clsRegistry registry;
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

TEST_F(ClsRegistryTest, ReadOnlyMachineHiveRefusesEveryWriteButStillReads) {
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
}

TEST_F(ClsRegistryTest, AutoStartEntryIsADesktopFileThatComesAndGoes) {
  const std::string entry = environment.path("xdg/autostart/Vellumdock.desktop");
  {
    clsRegistry registry;
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kRunKey), -1);
    EXPECT_TRUE(registry.CreateValue("Vellumdock", kAutoStartData, REG_SZ));
    EXPECT_TRUE(registry.CloseRegistry());
  }
  const std::string content = test::ReadBytes(entry);
  // The installer's Windows path names the program installed on this machine.
  const std::vector<std::string> lines = {"[Desktop Entry]\n", "\nType=Application\n", "\nName=Vellumdock\n",
                                         "\nExec=" + programDir() + "/vellumdk m\n"};
  for (const std::string& line : lines) {
    EXPECT_NE(content.find(line), std::string::npos) << line << " in:\n" << content;
  }

  clsRegistry reader;
  ASSERT_EQ(reader.OpenRegistry(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion\\run"), -1);
  EXPECT_EQ(reader.GetValue("vellumdock").asText(), kAutoStartData);
  EXPECT_TRUE(reader.DeleteValue("Vellumdock"));
  EXPECT_FALSE(test::FileExistsOnDisk(entry));
  EXPECT_TRUE(reader.GetValue("Vellumdock").isEmpty());
  EXPECT_FALSE(reader.DeleteValue("Vellumdock"));
}

TEST_F(ClsRegistryTest, AutoStartWithoutRightsWritesNothing) {
  ASSERT_EQ(mkdir(environment.path("xdg/autostart").c_str(), 0555), 0);
  // The machine hive itself being writable does not matter: the list is the directory.
  clsRegistry registry;
  ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kRunKey), -1);
  EXPECT_FALSE(registry.CreateValue("Vellumdock", kAutoStartData, REG_SZ));
  EXPECT_TRUE(registry.GetValue("Vellumdock").isEmpty());
  EXPECT_FALSE(test::FileExistsOnDisk(environment.path("xdg/autostart/Vellumdock.desktop")));
}

// Counts the handles clsRegistry takes and gives back, over the real hive.
class CountingHive : public RegistryHive {
 public:
  std::int32_t openKey(RegKeyHandle key, const std::string& sub, std::uint32_t access, RegKeyHandle& out) override {
    lastAccess = access;
    return counted(real.openKey(key, sub, access, out), opened);
  }
  std::int32_t createKey(RegKeyHandle key, const std::string& sub, std::uint32_t access, RegKeyHandle& out,
                         std::uint32_t* disposition) override {
    return counted(real.createKey(key, sub, access, out, disposition), opened);
  }
  std::int32_t setValue(RegKeyHandle key, const std::string& name, std::uint32_t type, const std::string& data) override {
    return real.setValue(key, name, type, data);
  }
  std::int32_t queryValue(RegKeyHandle key, const std::string& name, std::uint32_t* type, char* data,
                          std::uint32_t* size) override {
    return real.queryValue(key, name, type, data, size);
  }
  std::int32_t deleteValue(RegKeyHandle key, const std::string& name) override { return real.deleteValue(key, name); }
  std::int32_t changeValues(RegKeyHandle key, const std::vector<ValueChange>& changes) override {
    return real.changeValues(key, changes);
  }
  std::int32_t closeKey(RegKeyHandle key) override { return counted(real.closeKey(key), closed); }

  RegistryHive& real = registryHive();
  int opened = 0;
  int closed = 0;
  std::uint32_t lastAccess = 0;

 private:
  static std::int32_t counted(std::int32_t code, int& count) {
    if (code == ERROR_SUCCESS) ++count;
    return code;
  }
};

TEST_F(ClsRegistryTest, EveryHandleIsReleasedExactlyOnce) {
  CountingHive counting;
  ScopedSeam<RegistryHive> seam(counting);
  {
    clsRegistry registry;
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
    EXPECT_EQ(counting.lastAccess, 0x2000Fu);
    EXPECT_TRUE(registry.CreateDirectory("Sub"));       // its handle is released at once
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);  // reopen releases the first
    EXPECT_EQ(counting.closed, 2);
  }  // destruction releases the open key
  EXPECT_EQ(counting.opened, 3);
  EXPECT_EQ(counting.closed, 3);
  {
    clsRegistry registry;
    ASSERT_EQ(registry.OpenRegistry(HKEY_LOCAL_MACHINE, kTestKey), -1);
    EXPECT_TRUE(registry.CloseRegistry());
  }  // nothing left to release
  EXPECT_EQ(counting.opened, 4);
  EXPECT_EQ(counting.closed, 4);
}

}  // namespace
}  // namespace vd
