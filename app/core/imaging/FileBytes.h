#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Whole-file reads and writes for the frame files. Neither follows a
// symbolic link at the file itself.

namespace imaging {

// Largest file read back; a frame is far smaller.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

// The whole file into `bytes` (its buffer reused). An empty, missing or
// oversized file is an error.
bool ReadWholeFile(const QString& path, QByteArray* bytes, QString* error);

// Replaces the file by a new one (mode 0600) holding exactly `bytes`. On
// failure no file is left at `path`.
bool ReplaceFile(const QString& path, QByteArrayView bytes, QString* error);

// Removes the file if there is one; false only when one stays.
bool RemoveFile(const QString& path, QString* error);

}  // namespace imaging
