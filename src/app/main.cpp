// The program: gathers the platform services, runs the main window's start-up (which shows the
// login window first) and then the event loop. Everything else lives in the libraries.
#include "db/DriverEnvironment.h"
#include "support/DumpProtection.h"
#include "db/OdbcConnection.h"
#include "support/ApplicationFolder.h"
#include "support/Clock.h"
#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "widgets/MessageBoxSink.h"
#include "widgets/Platform.h"
#include "main/frmMain.h"

#include <QApplication>
#include <QFont>

int main(int argc, char* argv[])
{
    // First of all, while this is the only thread: the application object may start others.
    quorvane::protectFromDumps();
    quorvane::db::RemoveDriverEnvironmentOverrides();

    QApplication application(argc, argv);
    const QString title = QStringLiteral("Quorvane");
    QApplication::setApplicationName(title);
    QApplication::setApplicationVersion(
        QStringLiteral("%1.%2.%3").arg(QUORVANE_VERSION_MAJOR).arg(QUORVANE_VERSION_MINOR).arg(QUORVANE_VERSION_PATCH));

    // The windows are laid out for a dialog font of about 8 points.
    QApplication::setFont(QFont(QStringLiteral("Arial"), 8));

    quorvane::MessageBoxSink messages(title);
    quorvane::QtSettingsStore settings(title);
    const quorvane::SystemClock clock;
    const quorvane::Platform platform {
        messages, settings, clock, quorvane::db::odbcConnectionFactory(), quorvane::applicationFolder(), title
    };

    quorvane::frmMain window(platform, [&platform](quorvane::frmMain& owner, bool bolCountDown) {
        QString gstrConnectPass;
        quorvane::frmLogin login(platform, owner.errorReport(), gstrConnectPass, &owner);
        login.OpenForm(bolCountDown);
        return gstrConnectPass;
    });
    if (!window.Form_Load())
        return 0;
    window.show();
    return application.exec();
}
