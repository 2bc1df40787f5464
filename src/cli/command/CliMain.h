#pragma once

#include <QStringList>

namespace quorvane::cli {

// The whole program behind main: reads the arguments after the program's name, connects, runs
// the command and returns the exit status. Needs a QCoreApplication.
int execute(const QStringList& arguments);

} // namespace quorvane::cli
