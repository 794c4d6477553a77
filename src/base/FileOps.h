#pragma once

#include <QByteArray>
#include <QString>

// File handling shared by the shortcuts, the log-on start entry and the data
// maintenance. Replacing a file always goes through a temporary file in the
// same folder that is synced and then renamed over the target, so that a
// failure at any point leaves the old file exactly as it was.
namespace fileops {

// True when anything (file, folder, even a dangling link) stands at the path.
bool EntryExists(const QString& path);
bool IsFolder(const QString& path); // a folder, or a link to one
// Whether this process may write the file or folder: access(2), which also
// answers for root, for a read-only file system and for an immutable entry.
bool CanWrite(const QString& path);

// Writes data to path atomically; mode holds the permission bits of the new file.
bool WriteFileAtomically(const QString& path, const QByteArray& data, unsigned mode);

// Copies from over to, atomically. The new file keeps the permission bits of
// the file it replaces, or takes those of the source when there was none.
bool CopyFileAtomically(const QString& from, const QString& to);
// The same with the permission bits of the new file given.
bool CopyFileAtomically(const QString& from, const QString& to, unsigned mode);

// The permission bits of the regular file at path, or fallback when there is none.
unsigned ModeOr(const QString& path, unsigned fallback);

} // namespace fileops
