#include "support/FileHelpers.h"

#include "support/Failure.h"
#include "support/MessageSink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryFile>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvane {

namespace {

    // Numbers of the classic file runtime, so a save failure reads as the users know it.
    constexpr std::int32_t kDeviceIoError = 57;
    constexpr std::int32_t kDiskFull = 61;
    constexpr std::int32_t kPermissionDenied = 70;
    constexpr std::int32_t kPathFileAccessError = 75;
    constexpr std::int32_t kPathNotFound = 76;

    Failure openFailure(const QFile& file)
    {
        const QFileInfo info(file.fileName());
        const QFileInfo folder(info.absolutePath());
        if (!folder.exists())
            return { kPathNotFound, QStringLiteral("Path not found") };
        if ((info.exists() && !info.isWritable()) || (!info.exists() && !canCreateFilesIn(folder.filePath())))
            return { kPermissionDenied, QStringLiteral("Permission denied") };
        return { kPathFileAccessError, QStringLiteral("Path/File access error") };
    }

    Failure writeFailure(const QFile& file)
    {
        // Qt reports a device without space left as a resource error.
        if (file.error() == QFileDevice::ResourceError)
            return { kDiskFull, QStringLiteral("Disk full") };
        return { kDeviceIoError, QStringLiteral("Device I/O error") };
    }

    // Opens the log for appending without following a symbolic link planted in its place, and
    // creates it readable by the user only: a log holds server names, logins and statements.
    bool openForAppending(QFile& file)
    {
#ifdef Q_OS_WIN
        if (QFileInfo(file.fileName()).isSymbolicLink())
            return false;
        return file.open(QIODevice::WriteOnly | QIODevice::Append);
#else
        const int descriptor = ::open(QFile::encodeName(file.fileName()).constData(),
                                      O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (descriptor < 0)
            return false;
        if (file.open(descriptor, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle))
            return true;
        ::close(descriptor);
        return false;
#endif
    }

    void appendLine(const QString& path, const QString& text)
    {
        QFile file(path);
        if (!openForAppending(file))
            throw openFailure(file);
        QStringEncoder toCodePage(QStringEncoder::System);
        const QByteArray bytes = toCodePage(text + QStringLiteral("\r\n"));
        if (file.write(bytes) != bytes.size() || !file.flush())
            throw writeFailure(file);
    }

} // namespace

bool canCreateFilesIn(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("quorvane-probe-XXXXXX.tmp")));
    return probe.open();
}

QChar directorySeparator()
{
#ifdef Q_OS_WIN
    return QLatin1Char('\\');
#else
    return QLatin1Char('/');
#endif
}

QString AddBackslash(const QString& path)
{
    if (path.endsWith(directorySeparator()))
        return path;
    return path + directorySeparator();
}

bool AppendtoFile(MessageSink& messages, const QString& path, const QString& text)
{
    if (path.isEmpty())
        return false;
    try {
        appendLine(path, text);
        return true;
    } catch (const Failure& failure) {
        messages.showMessage(QStringLiteral("An error occurred while attempting to save a file.\r\nNumber: ")
                             + QString::number(failure.number()) + QStringLiteral("\r\nDescription: ")
                             + failure.description());
    } catch (const std::exception& exception) {
        messages.showMessage(QStringLiteral("An error occurred while attempting to save a file.\r\nNumber: ")
                             + QString::number(kUnexpectedFailureNumber) + QStringLiteral("\r\nDescription: ")
                             + QString::fromLocal8Bit(exception.what()));
    }
    return false;
}

} // namespace quorvane
