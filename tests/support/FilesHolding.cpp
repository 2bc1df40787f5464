#include "support/FilesHolding.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace quorvane::test {

QStringList filesBelow(const QString& root, const QString& text)
{
    const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    QStringList names;
    QDirIterator files(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : text.toUtf8();
        const bool holds = bytes.contains(text.toUtf8()) || bytes.contains(text.toLatin1()) || bytes.contains(utf16);
        names.append(QFileInfo(file).fileName() + (holds ? QStringLiteral(" holds ") + text : QString()));
    }
    names.sort();
    return names;
}

} // namespace quorvane::test
