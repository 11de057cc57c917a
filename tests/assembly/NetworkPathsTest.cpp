// The mount table as drives and network names, and the script file's line format.
#include <gtest/gtest.h>

#include "platform/MountTable.h"
#include "scripts/NetworkPaths.h"
#include "scripts/ScriptFile.h"

namespace vd {
namespace {

const char* const kMountInfo =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "40 22 0:40 / /mnt/office\\040share rw,relatime shared:20 - cifs //Server/Office rw,vers=3.0\n"
    "41 22 0:41 / /home/exports rw - nfs4 nas:/srv/exports rw\n"
    "42 22 0:42 / /mnt/laptop rw - fuse.sshfs ann@laptop:/home/ann rw\n"
    "43 41 8:2 / /home/exports/local rw - ext4 /dev/sdb1 rw\n";

class FixedMounts : public MountTable {
 public:
  std::vector<MountEntry> mounts() override { return ParseMountInfo(kMountInfo); }
};

class NetworkPathsTest : public ::testing::Test {
 protected:
  FixedMounts mounts_;
  ScopedSeam<MountTable> seam_{mounts_};
};

TEST_F(NetworkPathsTest, MountInfoIsReadWithItsEscapes) {
  const std::vector<MountEntry> entries = ParseMountInfo(kMountInfo);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[1].mountPoint, "/mnt/office share");
  EXPECT_EQ(entries[1].source, "//Server/Office");
  EXPECT_EQ(entries[1].fileSystem, "cifs");
  EXPECT_FALSE(LinuxMountTable().mounts().empty());

  // Only blanks separate fields: other white space is part of a name, as the kernel
  // writes it unescaped.
  const std::vector<MountEntry> odd =
      ParseMountInfo("50 22 0:50 / /mnt/odd\rname\f\vx rw,relatime - cifs //S/Odd\rShare rw\n");
  ASSERT_EQ(odd.size(), 1u);
  EXPECT_EQ(odd[0].mountPoint, "/mnt/odd\rname\f\vx");
  EXPECT_EQ(odd[0].source, "//S/Odd\rShare");
  EXPECT_EQ(odd[0].fileSystem, "cifs");
}

TEST_F(NetworkPathsTest, DrivesAreMountsAndNetworkDrivesAreRemote) {
  EXPECT_EQ(DriveOfPath("/mnt/office share/a.doc"), "/mnt/office share");
  EXPECT_EQ(DriveOfPath("/mnt/office sharex/a.doc"), "/");
  EXPECT_EQ(DriveOfPath("/home/exports/local/a.doc"), "/home/exports/local");
  EXPECT_EQ(GetDriveType("/mnt/office share"), DRIVE_REMOTE);
  EXPECT_EQ(GetDriveType("/home/exports"), DRIVE_REMOTE);
  EXPECT_EQ(GetDriveType("/home/exports/local"), DRIVE_FIXED);
  EXPECT_EQ(GetDriveType("/nowhere"), DRIVE_NO_ROOT_DIR);

  std::string network = "stale";
  EXPECT_EQ(GetUNCPath("/mnt/office share", network), NO_ERROR_CODE);
  EXPECT_EQ(network, "//Server/Office");
  EXPECT_EQ(GetUNCPath("/", network), ERROR_NOT_CONNECTED);
  EXPECT_EQ(network, "");
}

TEST_F(NetworkPathsTest, TheBuilderWritesNetworkLocationsOnlyForNetworkDrives) {
  EXPECT_EQ(ToNetworkPath("/mnt/office share/docs/a.doc"), "//Server/Office/docs/a.doc");
  EXPECT_EQ(ToNetworkPath("/home/exports/b.xls"), "nas:/srv/exports/b.xls");
  EXPECT_EQ(ToNetworkPath("/home/exports/local/c.pdf"), "/home/exports/local/c.pdf");
  EXPECT_EQ(ToNetworkPath("relative/a.doc"), "relative/a.doc");
}

TEST_F(NetworkPathsTest, NetworkLocationsResolveThroughMountedShares) {
  EXPECT_EQ(ResolveNetworkLocation("\\\\server\\office\\docs\\a.doc"), "/mnt/office share/docs/a.doc");
  EXPECT_EQ(ResolveNetworkLocation("//SERVER/OFFICE/docs/a.doc"), "/mnt/office share/docs/a.doc");
  EXPECT_EQ(ResolveNetworkLocation("nas:/srv/exports/b.xls"), "/home/exports/b.xls");
  EXPECT_EQ(ResolveNetworkLocation("//laptop/home/ann/notes.txt"), "/mnt/laptop/notes.txt");
  // NFS paths keep their case; a share name must end at a folder boundary.
  EXPECT_EQ(ResolveNetworkLocation("nas:/SRV/exports/b.xls"), std::nullopt);
  EXPECT_EQ(ResolveNetworkLocation("//server/officex/a.doc"), std::nullopt);
  EXPECT_EQ(ResolveNetworkLocation("\\\\other\\office\\a.doc"), std::nullopt);
  EXPECT_EQ(ResolveNetworkLocation("/mnt/office share/a.doc"), std::nullopt);
}

TEST_F(NetworkPathsTest, WhatTheBuilderWritesTheRunReadsAsANetworkLocation) {
  // A script made on this machine names the files of every kind of share so that the run
  // takes them for network locations and finds them through the same mount.
  for (const std::string path : {"/mnt/office share/docs/a.doc", "/home/exports/b.xls", "/mnt/laptop/notes.txt"}) {
    const std::string written = ToNetworkPath(path);
    EXPECT_NE(written, path);
    EXPECT_TRUE(IsNetworkLocation(written)) << written;
    EXPECT_EQ(ResolveNetworkLocation(written), path) << written;
  }
  const std::vector<std::pair<std::string, bool>> entries = {
      {"\\\\server\\office\\a.doc", true}, {"//server/office/a.doc", true}, {"nas:/srv/exports/b.xls", true},
      {"ann@laptop:/home/ann/c.txt", true},   {"/mnt/a.doc", false},            {"relative/a.doc", false},
      {"C:\\Docs\\a.doc", false},             {"dir/x:/a.doc", false},          {"ann@:/a.doc", false},
      {":/a.doc", false},                     {"host:", false},                 {"host:relative", false}};
  for (const auto& [entry, network] : entries) EXPECT_EQ(IsNetworkLocation(entry), network) << entry;
}

TEST(ScriptFileTest, LinesEndWithCrLfWhenWrittenAndAnyEndingWhenRead) {
  EXPECT_EQ(FormatScriptFile({"/a b/x.doc", "//s/h/y.pdf"}), "/a b/x.doc\r\n//s/h/y.pdf\r\n");
  EXPECT_EQ(SplitScriptLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitScriptLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_TRUE(SplitScriptLines("").empty());
}

}  // namespace
}  // namespace vd
