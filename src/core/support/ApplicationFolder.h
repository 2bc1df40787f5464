#pragma once

#include <QString>

namespace quorvane {

// The folder the program writes its log files to: the folder that holds the executable, or, when
// no file can be created there, it holds an installed copy (isInstalledCopyFolder) or, on Linux,
// others may write to it, the per-user application data folder, created when missing. Both with the platform's own
// separators.
QString resolveApplicationFolder(const QString& executableFolder, const QString& perUserDataFolder);

// The per-user folder for the program's files, created when missing, with the platform's own
// separators: ~/.local/share/<application name> on Linux, %LOCALAPPDATA%\<application name> on
// Windows (the local, not the roaming, profile: log files stay on the machine they are about).
QString perUserDataFolder();

// resolveApplicationFolder for the running program.
QString applicationFolder();

// Whether a folder (absolute, cleaned, "/" separators) holds an installed copy of the program,
// which keeps no log files of its own even when the user may write there: below /usr on Linux,
// below the Program Files folders on Windows.
bool isInstalledCopyFolder(const QString& folder);

// Whether a folder belongs to the user (or to root, or on Windows to the administrators or the
// system) and no one else may write to it.
bool isFolderOnlyTheUserWrites(const QString& folder);

} // namespace quorvane
