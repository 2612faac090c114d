// Windows cursor files (.cur). Qt reads their image but drops the hotspot, the
// point of the image that does the pointing, so the header is read here.
//
// Layout, all numbers little-endian:
//   0  u16 reserved (0)   2 u16 type (2 = cursor)   4 u16 image count (>= 1)
//   6  one 16-byte entry per image:
//        u8 width (0 = 256), u8 height (0 = 256), u8 colour count, u8 reserved,
//        u16 hotspot x, u16 hotspot y, u32 image byte size, u32 image offset
//   then the images: a DIB (header, XOR bitmap, AND mask) or a PNG.
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <optional>
#include <stdexcept>

namespace vq {

// The first image entry of a cursor file.
struct CursorEntry {
  int width = 0;
  int height = 0;
  QPoint hotspot;
  quint32 size = 0;
  quint32 offset = 0;
};

// Reads the directory of a cursor file. Throws std::runtime_error for anything
// that is not a well-formed cursor file, including an image outside the file.
CursorEntry ReadCursorEntry(const QByteArray& bytes);

// The first image of a cursor file with its hotspot. Throws std::runtime_error
// when the file is malformed or its image can't be decoded.
QCursor DecodeCursorFile(const QByteArray& bytes);

// The cursor in the file at `path`, or nothing when it can't be read.
std::optional<QCursor> LoadCursorFile(const QString& path);

}  // namespace vq
