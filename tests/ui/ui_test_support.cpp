#include "ui_test_support.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <stdexcept>

namespace vemo::ui::test {

std::string data_file(int records) {
  constexpr int kLength = 119;
  constexpr int kPerBlock = 2048 / kLength;
  const int blocks = std::max(6, (records + kPerBlock - 1) / kPerBlock);
  if (records < blocks) throw std::invalid_argument("every probed block needs a record");
  std::string bytes;
  for (int b = 0; b < blocks; ++b) {
    std::string block;
    const int in_block = records / blocks + (b < records % blocks ? 1 : 0);
    for (int r = 0; r < in_block; ++r) block += "119" + std::string(kLength - 3, '1');
    block += "000";
    block.resize(2048, '\0');
    bytes += block;
  }
  return bytes;
}

void make_folder(const QString& path) {
  if (!QDir().mkpath(path)) throw std::runtime_error("cannot create " + path.toStdString());
}

void write_file(const QString& path, const std::string& bytes) {
  make_folder(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
          static_cast<qint64>(bytes.size())) {
    throw std::runtime_error("cannot write " + path.toStdString());
  }
}

QStringList read_lines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QString text = QString::fromLatin1(file.readAll());
  if (text.endsWith(QStringLiteral("\r\n"))) text.chop(2);
  if (text.isEmpty()) return {};
  return text.split(QStringLiteral("\r\n"));
}

}  // namespace vemo::ui::test
