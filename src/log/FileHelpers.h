#pragma once

#include <QString>

namespace quorvane {

class MessageSink;

// The platform's own directory separator: "\" on Windows, "/" elsewhere.
QChar directorySeparator();

// Returns the folder path with one trailing directory separator; a path that already ends in one
// comes back unchanged (an empty path gives the separator alone).
QString AddBackslash(const QString& path);

// Appends text followed by CR LF to the file at path, as 8-bit text in the system code page.
// The file is opened, written and closed within the call; a missing file is created. An empty
// path does nothing. A failure shows the save-failure message and returns normally.
void AppendtoFile(MessageSink& messages, const QString& path, const QString& text);

} // namespace quorvane
