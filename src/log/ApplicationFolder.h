#pragma once

#include <QString>

namespace quorvane {

// The folder the program writes its log files to: the folder that holds the executable, or, when
// that folder is not writable or lies under /usr (an installed copy), the per-user application
// data folder, created when missing.
QString resolveApplicationFolder(const QString& executableFolder, const QString& perUserDataFolder);

// The same for the running program.
QString applicationFolder();

} // namespace quorvane
