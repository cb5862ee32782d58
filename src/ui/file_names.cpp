#include "ui/file_names.h"

#include <QFile>

namespace vemo::ui {

QString display_text(std::string_view bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string system_bytes(const QString& text) {
  return QFile::encodeName(text).toStdString();
}

}  // namespace vemo::ui
