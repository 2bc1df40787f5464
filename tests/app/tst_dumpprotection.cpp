#include "support/HostProcess.h"

#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTest>
#include <unistd.h>

using quorvane::test::fileBytes;

// Both programs, started as a user starts them, keep a password out of crash dumps and out of the
// environment other processes can read. Run as an unprivileged user (when the tests run as root,
// through setpriv), so that the owner of /proc/PID tells whether the process is dumpable: the
// kernel hands a non-dumpable process's entries to root.
class tst_DumpProtection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void passwordOutOfReach()
    {
        const QByteArray password = QByteArrayLiteral("Zq7-unique-secret");
        const QString nobody = QStringLiteral("65534"); // an unprivileged user
        // The window program takes no password from its environment; it is checked for its dumps.
        const std::pair<QString, QStringList> programs[] = {
            { QStringLiteral(QUORVANE_CLI_PATH),
              { "list", "--server", "127.0.0.1,%1", "--database", "NAV", "--user", "sa" } },
            { QStringLiteral(QUORVANE_GUI_PATH), {} },
        };
        for (auto [program, arguments] : programs) {
            // A server that takes the connection and never answers keeps the command line waiting.
            QTcpServer silentServer;
            QVERIFY(silentServer.listen(QHostAddress::LocalHost));
            for (QString& argument : arguments)
                argument.replace(QLatin1String("%1"), QString::number(silentServer.serverPort()));

            QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
            if (!arguments.isEmpty()) // the command line reads its password
                variables.insert(QStringLiteral("QUORVANE_PASSWORD"), QString::fromLatin1(password));
            variables.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
            QProcess process;
            process.setProcessEnvironment(variables);
            const bool asRoot = geteuid() == 0;
            if (asRoot) {
                arguments
                    = QStringList { "--reuid", nobody, "--regid", nobody, "--clear-groups", "--", program } + arguments;
                program = QStringLiteral("setpriv");
            }
            process.start(program, arguments);
            QVERIFY(process.waitForStarted());
            // setpriv executes the program in its own process: wait until that has happened and the
            // program has read its password.
            QTest::qWait(1500);
            QCOMPARE(process.state(), QProcess::Running);
            const QString proc = QStringLiteral("/proc/%1/").arg(process.processId());

            QVERIFY(fileBytes(proc + "limits").contains("Max core file size        0                    0"));
            const QByteArray environment = fileBytes(proc + "environ");
            QVERIFY(!environment.isEmpty() && !environment.contains(password));
            if (asRoot)
                QCOMPARE(QFileInfo(proc + "status").ownerId(), 0u);

            process.kill();
            process.waitForFinished();
        }
    }
};

QTEST_GUILESS_MAIN(tst_DumpProtection)
#include "tst_dumpprotection.moc"
