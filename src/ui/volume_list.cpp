#include "ui/volume_list.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <array>
#include <string_view>

#include "platform/platform.h"
#include "ui/folder_reader.h"

namespace vemo::ui {

QString Volume::path_text() const {
  QString path = QDir::toNativeSeparators(root);
  if (path.size() > 1 && !path.endsWith(QStringLiteral(":\\"))) path.chop(1);
  return path;
}

namespace {

bool is_under(const QString& path, QStringView folder) {
  return path == folder ||
         (path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

// Where udisks2 mounts removable media: /run/media/<user>/<label>.
constexpr std::u16string_view kRemovableMedia = u"/run/media";

bool is_removable_mount(const QString& mount_path) {
  return is_under(mount_path, QStringView(kRemovableMedia)) &&
         mount_path.size() > qsizetype(kRemovableMedia.size());
}

}  // namespace

QString Volume::display_text() const {
  // A drive letter shows as the letter and colon alone ("C:"), as Windows names drives.
  const bool drive_letter = root.size() == 3 && root[0].isLetter() && root[1] == ':' &&
                            (root[2] == '/' || root[2] == '\\');
  const QString path = drive_letter ? root.left(2) : path_text();
  if (is_removable_mount(QDir::fromNativeSeparators(path))) {
    // The mount path there is long and says little; the label (or the folder udisks2 named
    // after it) is what the user knows the medium by.
    return label.isEmpty() ? path.section(QLatin1Char('/'), -1) : label;
  }
  if (label.isEmpty()) return path;
  return path + QStringLiteral("  [") + label + QLatin1Char(']');
}

bool holds_user_files(const QString& mount_path, const QString& file_system_type) {
  if (mount_path == QStringLiteral("/")) return true;
  const bool removable = is_removable_mount(mount_path);
  static constexpr std::array<std::u16string_view, 7> kSystemFolders = {
      u"/proc", u"/sys", u"/dev", u"/run", u"/var/run", u"/var/lock", u"/snap"};
  for (auto folder : kSystemFolders) {
    if (!removable && is_under(mount_path, QStringView(folder))) return false;
  }
  static constexpr std::array<std::u16string_view, 22> kPseudoTypes = {
      u"proc",     u"sysfs",      u"cgroup",    u"cgroup2",    u"devpts",      u"devtmpfs",
      u"mqueue",   u"debugfs",    u"tracefs",   u"securityfs", u"pstore",      u"bpf",
      u"configfs", u"fusectl",    u"hugetlbfs", u"autofs",     u"binfmt_misc", u"nsfs",
      u"efivarfs", u"rpc_pipefs", u"overlay",   u"squashfs"};
  for (auto type : kPseudoTypes) {
    if (file_system_type == QStringView(type)) return false;
  }
  return true;
}

int volume_of(const std::vector<Volume>& volumes, const QString& path) {
  constexpr Qt::CaseSensitivity kCase =
      platform::kWindows ? Qt::CaseInsensitive : Qt::CaseSensitive;
  const QString folder = path.endsWith('/') ? path : path + QLatin1Char('/');
  int best = -1;
  qsizetype best_length = -1;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const QString& root = volumes[i].root;
    if (root.size() > best_length && folder.startsWith(root, kCase)) {
      best = static_cast<int>(i);
      best_length = root.size();
    }
  }
  return best;
}

std::vector<Volume> SystemVolumeList::volumes() const {
  std::vector<Volume> result;
  if constexpr (platform::kWindows) {
    for (const QFileInfo& drive : QDir::drives()) {
      const QStorageInfo info(drive.absoluteFilePath());
      result.push_back({drive.absoluteFilePath(), info.isValid() ? info.name() : QString()});
    }
  } else {
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
      const QString mount_path = info.rootPath();
      if (!holds_user_files(mount_path, QString::fromUtf8(info.fileSystemType()))) continue;
      // Container runtimes mount single files (/etc/hosts); only folders can be drives.
      if (!QFileInfo(mount_path).isDir()) continue;
      QString root = mount_path.endsWith('/') ? mount_path : mount_path + QLatin1Char('/');
      if (std::any_of(result.begin(), result.end(),
                      [&](const Volume& v) { return v.root == root; })) {
        continue;  // mounted over: one entry per path
      }
      result.push_back({root, info.name()});
    }
    std::sort(result.begin(), result.end(),
              [](const Volume& a, const Volume& b) { return a.root < b.root; });
  }
  return result;
}

bool SystemVolumeList::ready(const Volume& volume, QString* reason) const {
  return can_list_folder(volume.root, reason);
}

}  // namespace vemo::ui
