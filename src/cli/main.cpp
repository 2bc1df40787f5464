// quorvane-cli: the list, the script and the rebuild run from a terminal. Everything lives in the
// libraries; this only sets up the application object.
#include "command/CliMain.h"
#include "terminal/Terminal.h"
#include "db/DriverEnvironment.h"
#include "support/DumpProtection.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    // First of all, while this is the only thread: the application object may start others.
    quorvane::protectFromDumps();
    quorvane::db::RemoveDriverEnvironmentOverrides();
    quorvane::cli::writeStandardOutputAsIs();

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quorvane"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(QUORVANE_VERSION_MAJOR).arg(QUORVANE_VERSION_MINOR).arg(QUORVANE_VERSION_PATCH));
    return quorvane::cli::execute(QCoreApplication::arguments().mid(1));
}
