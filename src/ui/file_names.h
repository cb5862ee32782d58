#pragma once

#include <QByteArray>
#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace vemo::ui {

// The one conversion between the bytes of names and paths, as the system and the run use them,
// and the text the window shows: UTF-8 on Windows, the locale's encoding elsewhere. Bytes that
// the encoding cannot decode are shown as the replacement character; the run always gets the
// bytes themselves, never the shown text.
QString display_text(std::string_view bytes);
inline QString display_text(const QByteArray& bytes) {
  return display_text(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// The bytes of a name or path typed or shown in the window.
std::string system_bytes(const QString& text);

// A folder's path or name as the window keeps it, losslessly: where the bytes are no text in the
// locale, each byte that cannot be decoded is kept as a lone surrogate (U+DC80 to U+DCFF), which
// path_bytes() turns back into that byte. shown_text() is how such a text is shown.
QString path_text(std::string_view bytes);
std::string path_bytes(const QString& text);
QString shown_text(QString text);

// A path from the bytes of one and back, without a trip through a code page.
std::filesystem::path path_of_bytes(const std::string& bytes);
std::string bytes_of_path(const std::filesystem::path& path);

}  // namespace vemo::ui
