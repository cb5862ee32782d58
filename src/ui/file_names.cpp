#include "ui/file_names.h"

#include <QFile>

#include "core/utf8.h"
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

namespace {

// Whether text[i] stands for an undecodable byte: a low surrogate of that range that is not the
// second half of a pair.
bool is_kept_byte(const QString& text, qsizetype i) {
  const char16_t c = text[i].unicode();
  return c >= 0xDC80 && c <= 0xDCFF && (i == 0 || !text[i - 1].isHighSurrogate());
}

}  // namespace

QString path_text(std::string_view bytes) {
  QString text = display_text(bytes);
  // On Windows names are UTF-8 already; elsewhere bytes the locale cannot decode are kept.
  if constexpr (platform::kWindows) return text;
  if (QFile::encodeName(text) == QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()))) {
    return text;
  }
  text.clear();
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = utf8_sequence(bytes.substr(i));
    if (n > 0) {
      text += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(n));
      i += n;
    } else {
      text += QChar(static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i])));
      ++i;
    }
  }
  return text;
}

std::string path_bytes(const QString& text) {
  std::string bytes;
  qsizetype start = 0;
  for (qsizetype i = 0; i <= text.size(); ++i) {
    const bool kept = i < text.size() && is_kept_byte(text, i);
    if (i < text.size() && !kept) continue;
    bytes += system_bytes(text.mid(start, i - start));
    if (kept) bytes += static_cast<char>(text[i].unicode() - 0xDC00);
    start = i + 1;
  }
  return bytes;
}

QString shown_text(QString text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (is_kept_byte(text, i)) text[i] = QChar(QChar::ReplacementCharacter);
  }
  return text;
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
