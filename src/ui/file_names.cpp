#include "ui/file_names.h"

#include <QFile>

#include "platform/platform.h"

namespace vemo::ui {

// On Windows the run takes names as UTF-8 and converts them to the system's UTF-16 itself; the
// local 8-bit code page would lose every character outside it. Elsewhere names are the bytes the
// system stores, decoded by the locale.

QString display_text(std::string_view bytes) {
  if constexpr (platform::kWindows) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  } else {
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  }
}

std::string system_bytes(const QString& text) {
  if constexpr (platform::kWindows) {
    return text.toUtf8().toStdString();
  } else {
    return QFile::encodeName(text).toStdString();
  }
}

std::filesystem::path path_of_bytes(const std::string& bytes) {
  if constexpr (platform::kWindows) {
    // A narrow string would be read in the ANSI code page.
    return std::filesystem::path(std::u8string(bytes.begin(), bytes.end()));
  } else {
    return std::filesystem::path(bytes);
  }
}

std::string bytes_of_path(const std::filesystem::path& path) {
  if constexpr (platform::kWindows) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  } else {
    return path.string();
  }
}

}  // namespace vemo::ui
