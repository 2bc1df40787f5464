#pragma once

#include <QString>

namespace quorvane {

class MessageSink;

// Whether a file can be created in the folder, found out by creating one, which goes again at
// once. Asking the file system is not enough: on Windows Qt looks only at the read-only attribute,
// never at the folder's access rights, so Program Files looks writable to it.
bool canCreateFilesIn(const QString& folder);

// The platform's own directory separator: "\" on Windows, "/" elsewhere.
QChar directorySeparator();

// Returns the folder path with one trailing directory separator; a path that already ends in one
// comes back unchanged (an empty path gives the separator alone).
QString AddBackslash(const QString& path);

// Appends text followed by CR LF to the file at path, as 8-bit text in the system code page.
// The file is opened, written and closed within the call; a missing file is created. An empty
// path does nothing. A failure shows the save-failure message and returns normally. True when the
// line was written.
bool AppendtoFile(MessageSink& messages, const QString& path, const QString& text);

} // namespace quorvane
