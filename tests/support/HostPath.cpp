#include "support/HostPath.h"

#include <QDir>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quorvane::test {

QString hostPath(const QString& path)
{
#ifdef Q_OS_WIN
    // Wine's own export for the host file name of a Windows path; it returns heap memory that the
    // caller frees with HeapFree.
    using UnixFileName = char*(__cdecl*)(const wchar_t*);
    static const auto toUnix = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return path;
    const std::wstring windowsPath = QDir::toNativeSeparators(QDir(path).absolutePath()).toStdWString();
    char* unixPath = toUnix(windowsPath.c_str());
    if (!unixPath)
        return path;
    const QString result = QString::fromUtf8(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
#else
    return path;
#endif
}

} // namespace quorvane::test
