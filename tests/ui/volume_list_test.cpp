#include "ui/volume_list.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "qt_printers.h"

namespace vemo::ui::test {
namespace {

TEST(VolumeListTest, OnlyMountsThatHoldUserFilesAreVolumes) {
  struct Case {
    const char* mount_path;
    const char* type;
    bool volume;
  };
  const Case cases[] = {
      {"/", "ext4", true},
      {"/", "overlay", true},  // a container's root
      {"/media/usb", "vfat", true},
      {"/mnt/data", "ext4", true},
      {"/home", "btrfs", true},
      {"/tmp", "tmpfs", true},
      {"/sysroot", "ext4", true},              // not under /sys
      {"/runner", "xfs", true},                // not under /run
      {"/run/media/ann/STICK", "vfat", true},  // removable media mounted by udisks2
      {"/run/media/ann/My Card", "exfat", true},
      {"/run/media", "tmpfs", false},
      {"/run/media/ann/disc", "autofs", false},
      {"/proc", "proc", false},
      {"/proc/sys/fs/binfmt_misc", "binfmt_misc", false},
      {"/sys", "sysfs", false},
      {"/sys/fs/cgroup", "tmpfs", false},
      {"/sys/fs/cgroup/cpu", "cgroup", false},
      {"/dev", "devtmpfs", false},
      {"/dev/pts", "devpts", false},
      {"/dev/shm", "tmpfs", false},
      {"/run", "tmpfs", false},
      {"/run/user/1000", "tmpfs", false},
      {"/var/lib/docker/overlay2/abc/merged", "overlay", false},
      {"/snap/core/123", "squashfs", false},
      {"/media/cdrom", "autofs", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(holds_user_files(QString::fromLatin1(c.mount_path), QString::fromLatin1(c.type)),
              c.volume)
        << c.mount_path << " " << c.type;
  }
}

TEST(VolumeListTest, AFolderLiesOnTheVolumeWithTheLongestRoot) {
  const std::vector<Volume> volumes = {{"/", ""}, {"/media/usb/", ""}, {"/media/usb2/", ""}};
  struct Case {
    const char* path;
    int volume;
  };
  const Case cases[] = {
      {"/", 0},           {"/home/user", 0},     {"/media/usb", 1},
      {"/media/usb/", 1}, {"/media/usb/a/b", 1}, {"/media/usb2/x", 2},
      {"/media/usbx", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(volume_of(volumes, QString::fromLatin1(c.path)), c.volume) << c.path;
  }
  EXPECT_EQ(volume_of({{"/media/usb/", ""}}, "/home"), -1);
}

TEST(VolumeListTest, AVolumeShowsItsMountPathAndLabel) {
  EXPECT_EQ((Volume{"/", ""}).display_text(), "/");
  EXPECT_EQ((Volume{"/", "root"}).display_text(), "/  [root]");
  EXPECT_EQ((Volume{"/media/usb/", "STICK"}).display_text(), "/media/usb  [STICK]");
  EXPECT_EQ((Volume{"/media/usb/", "STICK"}).path_text(), "/media/usb");
  // Removable media by their label, or the last part of the path without one.
  EXPECT_EQ((Volume{"/run/media/ann/3A1F-09C2/", "PHOTOS"}).display_text(), "PHOTOS");
  EXPECT_EQ((Volume{"/run/media/ann/My Card/", ""}).display_text(), "My Card");
  // Drive letters as Windows shows them.
  EXPECT_EQ((Volume{"C:/", ""}).display_text(), "C:");
  EXPECT_EQ((Volume{"D:/", "DATA"}).display_text(), "D:  [DATA]");
}

#ifndef _WIN32
TEST(VolumeListTest, TheSystemListHasTheRootAndNoPseudoFileSystems) {
  const std::vector<Volume> volumes = SystemVolumeList().volumes();
  bool has_root = false;
  for (const Volume& volume : volumes) {
    has_root |= volume.root == "/";
    EXPECT_TRUE(volume.root.endsWith('/')) << volume.root.toStdString();
    EXPECT_FALSE(volume.root.startsWith("/proc/") || volume.root.startsWith("/sys/"))
        << volume.root.toStdString();
  }
  EXPECT_TRUE(has_root);
}
#endif

TEST(VolumeListTest, AVolumeIsReadyWhenItsRootCanBeListed) {
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  SystemVolumeList list;
  QString reason;
  EXPECT_TRUE(list.ready({temp.path() + "/", ""}, &reason));
  EXPECT_FALSE(list.ready({temp.path() + "/gone/", ""}, &reason));
  EXPECT_EQ(reason, "No such file or directory");
}

}  // namespace
}  // namespace vemo::ui::test
