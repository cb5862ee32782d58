#pragma once

#include <QString>
#include <vector>

namespace vemo::ui {

// A place that holds files and that Drive1 offers: a drive letter on Windows, a mounted file
// system elsewhere.
struct Volume {
  QString root;   // the mount path with its trailing separator: "/", "/media/usb/", "C:/"
  QString label;  // the file system's label; may be empty

  // The mount path as the system writes it: "/", "/media/usb", "C:\".
  QString path_text() const;
  // How Drive1 shows the volume: its mount path ("C:" for a drive letter), then its label when it
  // has one; removable media under /run/media by their label alone, or the last part of the path
  // without one.
  QString display_text() const;
};

// The volumes of the machine, behind an interface so that tests can offer their own, including
// volumes that are not ready.
class VolumeList {
 public:
  virtual ~VolumeList() = default;
  virtual std::vector<Volume> volumes() const = 0;
  // Whether the volume can be used now, which is when its root can be listed. When it cannot,
  // `reason` gets the system's reason.
  virtual bool ready(const Volume& volume, QString* reason = nullptr) const = 0;
};

// The volumes the system has mounted, pseudo file systems left out.
class SystemVolumeList final : public VolumeList {
 public:
  std::vector<Volume> volumes() const override;
  bool ready(const Volume& volume, QString* reason = nullptr) const override;
};

// Whether a mount holds user files: the root and real file systems do, removable media under
// /run/media included; kernel and runtime pseudo file systems (proc, sysfs, cgroup, devpts,
// tmpfs under /run, the lower layers of container overlays) do not. `mount_path` has no trailing
// separator except "/".
bool holds_user_files(const QString& mount_path, const QString& file_system_type);

// The volume whose root is the longest leading part of `path` (a folder with '/' separators),
// or -1 when none is.
int volume_of(const std::vector<Volume>& volumes, const QString& path);

}  // namespace vemo::ui
