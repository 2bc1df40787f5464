#include "support/StandinFixture.h"
#include "support/StandinProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane::test;

// A table whose name holds a line break and a terminal escape sequence, and a server message that
// quotes it: every output of the command line shows them, none obeys them.
class tst_CliNamesEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlCharactersAreShownNotObeyed()
    {
        const QString table = QStringLiteral("CRONUS$Evil\r\n\x1b[31mT");
        const QString shown = QStringLiteral("CRONUS$Evil<CR><LF><ESC>[31mT");
        const QJsonObject refusal { { "number", 1505 }, { "message", "Duplicate in '" + table + "'.\nForged line" } };
        StandinProcess standin(
            databaseFixture(QJsonArray { keyedTable(table) }, { fault("add", table, "error", refusal) }));
        QVERIFY(standin.started());
        const QTemporaryDir folder;
        const QString activityLog = folder.filePath("activity.txt");
        const QString errorLog = folder.filePath("errors.txt");
        const QStringList login { "--server", standin.dataSource(), "--database", kDatabaseName, "--user", kLoginName };

        const QString list = cli(QStringList { "list" } + login);
        QCOMPARE(list.count(QLatin1Char('\n')), 2); // the heading and one key
        QVERIFY2(list.contains("<CR><LF><ESC>[31mT  "), qPrintable(list)); // shortened from the left to fit
        const QString run
            = cli(QStringList { "run", "--all", "--log-file", activityLog, "--error-log", errorLog } + login);
        QVERIFY2(run.startsWith(shown + '\t' + shown + "$0\tfailed: Duplicate in '" + shown
                                + "'.<LF>Forged line Could not create constraint."),
                 qPrintable(run));
        QVERIFY(run.contains("The failures are recorded in " + QDir::toNativeSeparators(errorLog) + "."));
        // A log that cannot be written says so itself, and is not named as holding the failures.
        const QString unlogged
            = cli(QStringList { "run", "--all", "--error-log", folder.filePath("none/e.txt") } + login);
        QVERIFY2(unlogged.contains("attempting to save") && !unlogged.contains("recorded in"), qPrintable(unlogged));
        for (const QString& output : { list, run, read(activityLog), read(errorLog) })
            QVERIFY(!output.contains(QChar(0x1b)));
        // The DROP and the ADD, each on a line of its own.
        QCOMPARE(read(activityLog).count(QStringLiteral("\r\n")), 2);
        QVERIFY(read(activityLog).contains("DROP CONSTRAINT [" + shown + "$0]\r\n"));
        QCOMPARE(read(errorLog).count(QStringLiteral("\r\n")), 3); // one record of three lines
    }

private:
    static QString cli(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QUORVANE_PASSWORD", kLoginPassword);
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(QUORVANE_CLI_PATH), arguments);
        process.waitForFinished(60000);
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    }

    static QString read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

QTEST_GUILESS_MAIN(tst_CliNamesEndToEnd)
#include "tst_cli_names_e2e.moc"
