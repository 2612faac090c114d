#include "ui/cursor_file.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <algorithm>

namespace vq {
namespace {

quint16 U16(const QByteArray& b, qsizetype at) {
  return static_cast<quint16>(static_cast<quint8>(b[at]) | (static_cast<quint8>(b[at + 1]) << 8));
}

quint32 U32(const QByteArray& b, qsizetype at) {
  return static_cast<quint32>(U16(b, at)) | (static_cast<quint32>(U16(b, at + 2)) << 16);
}

constexpr qsizetype kDirectorySize = 6;
constexpr qsizetype kEntrySize = 16;

}  // namespace

CursorEntry ReadCursorEntry(const QByteArray& bytes) {
  if (bytes.size() < kDirectorySize + kEntrySize) {
    throw std::runtime_error("cursor file too short");
  }
  if (U16(bytes, 0) != 0 || U16(bytes, 2) != 2) throw std::runtime_error("not a cursor file");
  const quint16 count = U16(bytes, 4);
  if (count == 0) throw std::runtime_error("cursor file holds no image");
  if (kDirectorySize + static_cast<qsizetype>(count) * kEntrySize > bytes.size()) {
    throw std::runtime_error("cursor directory runs past the end of the file");
  }
  CursorEntry e;
  const qsizetype at = kDirectorySize;
  e.width = static_cast<quint8>(bytes[at]) == 0 ? 256 : static_cast<quint8>(bytes[at]);
  e.height = static_cast<quint8>(bytes[at + 1]) == 0 ? 256 : static_cast<quint8>(bytes[at + 1]);
  e.hotspot = QPoint(U16(bytes, at + 4), U16(bytes, at + 6));
  e.size = U32(bytes, at + 8);
  e.offset = U32(bytes, at + 12);
  if (e.size == 0 || e.offset < kDirectorySize + kEntrySize ||
      static_cast<quint64>(e.offset) + e.size > static_cast<quint64>(bytes.size())) {
    throw std::runtime_error("cursor image lies outside the file");
  }
  return e;
}

QCursor DecodeCursorFile(const QByteArray& bytes) {
  const CursorEntry entry = ReadCursorEntry(bytes);
  // Qt's icon reader takes cursor files as well; it ignores the hotspot fields.
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  QImage image = reader.read();
  if (image.isNull()) {
    throw std::runtime_error("cursor image can't be decoded: " +
                             reader.errorString().toStdString());
  }
  // A hotspot outside the image would point nowhere; keep it on the image.
  QPoint hot(std::clamp(entry.hotspot.x(), 0, image.width() - 1),
             std::clamp(entry.hotspot.y(), 0, image.height() - 1));
  return QCursor(QPixmap::fromImage(image), hot.x(), hot.y());
}

std::optional<QCursor> LoadCursorFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  // Cursor files are small; a huge file is not a cursor.
  if (file.size() > (1 << 20)) return std::nullopt;
  try {
    return DecodeCursorFile(file.readAll());
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

}  // namespace vq
