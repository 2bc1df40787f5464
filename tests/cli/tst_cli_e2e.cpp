#include "CliProcess.h"
#include "support/StandinWindow.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// A password the connection string must quote: a semicolon, both quotes, blanks at the end.
const QString kAwkwardPassword = QStringLiteral("Kx;9'\"q ");

// Each table's primary key in dbo afterwards: "clustered", "non-clustered" or "none".
QStringList keysOf(const QJsonObject& state, const QStringList& tables)
{
    QStringList keys;
    for (const QString& table : tables) {
        const std::optional<QJsonObject> key = primaryKeyIn(state, table);
        keys.append(!key ? "none" : (*key)[QLatin1String("clustered")].toBool() ? "clustered" : "non-clustered");
    }
    return keys;
}

// The tables of everyMark() in dbo, in list order, and those of numberedTables(5, "T").
const QStringList kMarkedTables { "A$Clustered", "B$Customer", "C$Sales Header", "D$Sales Line", "E$Dup", "G$Item" };
const QStringList kFiveTables { "T1", "T2", "T3", "T4", "T5" };

QStringList outputLines(const QString& text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The output's lines, those of failed keys cut after "failed".
QStringList outcomeLines(const QString& text)
{
    QStringList lines;
    for (const QString& line : outputLines(text)) {
        const qsizetype failed = line.indexOf(QLatin1String("\tfailed: "));
        lines.append(failed < 0 ? line : line.left(failed + 7));
    }
    return lines;
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// quorvane-cli itself, through the FreeTDS ODBC driver against the stand-in; what reached the
// server is read back from the stand-in's statement log and saved catalogue.
class tst_CliEndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void listFormats();
    void runNotClusteredLeavesTheOthersAlone();
    void scriptOfTheChosenKeys();
    void runAllRebuildsWhatTheServerAcceptsAndKeepsEveryKey();
    void runChosenKeysOnlyWithTheLogsOfTheWindow();
    void navisionCheckOutcomes_data();
    void navisionCheckOutcomes();
    void passwordSources_data();
    void passwordSources();
    void usageErrors_data();
    void usageErrors();
    void serverOptionBuildsTheLoginWindowsString();
    void runEndsBeforeTheLastKey_data();
    void runEndsBeforeTheLastKey();

private:
    // Starts the stand-in with the fixture; the arguments name it by --connect.
    void startStandin(const QJsonObject& fixture);
    QStringList connection(const QString& database = kDatabaseName) const;
    QStringList sentFor(const QString& table) const;

    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<CliProcess> m_cli;
};

void tst_CliEndToEnd::init()
{
    m_standin.reset();
    m_cli.reset(); // puts back what it set aside before the next one looks
    m_cli = std::make_unique<CliProcess>();
    m_cli->passwordVariable = kLoginPassword;
}

void tst_CliEndToEnd::startStandin(const QJsonObject& fixture)
{
    m_standin = std::make_unique<StandinProcess>(fixture);
    QVERIFY(m_standin->started());
}

QStringList tst_CliEndToEnd::connection(const QString& database) const
{
    return { QStringLiteral("--connect"), m_standin->connectionString(database, kLoginName, QStringLiteral("%PW%")) };
}

QStringList tst_CliEndToEnd::sentFor(const QString& table) const
{
    QStringList texts;
    for (const QString& sql : m_standin->sqlTexts())
        if (sql.contains(QLatin1Char('[') + table + QLatin1Char(']')) || sql.contains(QLatin1Char('\'') + table + '\''))
            texts.append(sql);
    return texts;
}

void tst_CliEndToEnd::listFormats()
{
    startStandin(databaseFixture(everyMark()));
    const CliResult json = m_cli->run(QStringList { "list", "--format", "json" } + connection());
    QCOMPARE(json.exitStatus, 0);
    QVERIFY2(json.err.isEmpty(), qPrintable(json.err));
    // Every key in the server's order, with what the catalogue predicts for it.
    QStringList keys;
    for (const QJsonValue& key : QJsonDocument::fromJson(json.out.toUtf8()).array())
        keys.append(QStringList { key["constraint"].toString(), key["table"].toString(), key["schema"].toString(),
                                  key["clustered"].toBool() ? "clustered" : "",
                                  QString::number(key["rows"].toInteger()), key["refusal"].toString() }
                        .join(QLatin1String(" | ")));
    const QString severalSchemas
        = QStringLiteral("the table name is in more than one schema, so the key columns get mixed");
    QCOMPARE(
        keys,
        (QStringList { "A$Clustered$0 | A$Clustered | dbo | clustered | 1234567 | ",
                       "B$Customer$0 | B$Customer | dbo |  | 5213 | a foreign key refers to the key, so the DROP "
                       "will fail",
                       "C$Sales Header$0 | C$Sales Header | dbo |  | 0 | ",
                       "D$Sales Line$0 | D$Sales Line | dbo |  | 0 | the table has another clustered index, so the "
                       "ADD will fail",
                       "E$Dup$0 | E$Dup | dbo |  | 0 | " + severalSchemas,
                       "E$Dup$0 | E$Dup |  |  | 0 | the table is not in schema dbo; " + severalSchemas,
                       "F$Archive$0 | F$Archive |  |  | 0 | the table is not in schema dbo",
                       "G$Item$0 | G$Item | dbo |  | 1 | " }));

    const CliResult csv = m_cli->run(QStringList { "list", "--format", "csv" } + connection());
    QCOMPARE(csv.exitStatus, 0);
    const QStringList rows = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 9);
    QCOMPARE(rows.mid(0, 2),
             (QStringList { "constraint,table,schema,clustered,rows,reserved_kb,refusal",
                            "A$Clustered$0,A$Clustered,dbo,true,1234567,870400," }));
    // Text, fitted to the terminal, unless another format is asked for.
    const CliResult text = m_cli->run(QStringList { "list" } + connection());
    QCOMPARE(text.exitStatus, 0);
    QVERIFY2(text.out.startsWith(QLatin1String("Schema")), qPrintable(text.out));
    QCOMPARE(outputLines(text.out).size(), 9);

    // list changes nothing and sends only the check and the catalogue queries.
    for (const QString& sql : m_standin->sqlTexts())
        QVERIFY2(!sql.startsWith(QLatin1String("ALTER")), qPrintable(sql));
}

void tst_CliEndToEnd::runNotClusteredLeavesTheOthersAlone()
{
    startStandin(databaseFixture(everyMark()));
    const CliResult run = m_cli->run(QStringList { "run" } + connection());
    QCOMPARE(run.exitStatus, 0);
    QCOMPARE(outputLines(run.out),
             (QStringList { "C$Sales Header\tC$Sales Header$0\trebuilt", "G$Item\tG$Item$0\trebuilt",
                            "Done: 2 rebuilt, 0 failed, 0 skipped, 0 not processed." }));
    QCOMPARE(
        keysOf(m_standin->state(), kMarkedTables),
        (QStringList { "clustered", "non-clustered", "clustered", "non-clustered", "non-clustered", "clustered" }));
    // Nothing at all was sent for the keys left alone.
    for (const char* table : { "A$Clustered", "B$Customer", "D$Sales Line", "E$Dup", "F$Archive" })
        QVERIFY2(sentFor(QLatin1String(table)).isEmpty(), table);
}

void tst_CliEndToEnd::scriptOfTheChosenKeys()
{
    startStandin(databaseFixture(everyMark()));
    const CliResult chosen = m_cli->run(QStringList { "script" } + connection());
    QCOMPARE(chosen.exitStatus, 0);
    const QStringList lines = outputLines(chosen.out);
    QVERIFY(lines.contains(QStringLiteral("-- Server: ") + m_standin->dataSource()));
    QVERIFY(lines.contains(QStringLiteral("-- Database: CRONUS")));
    QCOMPARE(lines.count(QStringLiteral("BEGIN TRANSACTION")), 2);
    QVERIFY(lines.contains(QStringLiteral("ALTER TABLE dbo.[G$Item] DROP CONSTRAINT [G$Item$0]")));
    QVERIFY(lines.contains(QStringLiteral("ALTER TABLE dbo.[C$Sales Header] ADD CONSTRAINT [C$Sales Header$0] PRIMARY "
                                          "KEY CLUSTERED  ([No_]) ON [PRIMARY]")));
    // The script changes nothing.
    for (const QString& sql : m_standin->sqlTexts())
        QVERIFY2(!sql.startsWith(QLatin1String("ALTER")), qPrintable(sql));

    // Every key: the refused ones are left out with the reason.
    const CliResult all = m_cli->run(QStringList { "script", "--all" } + connection());
    QCOMPARE(all.exitStatus, 0);
    QCOMPARE(all.out.count(QStringLiteral("BEGIN TRANSACTION")), 3);
    QCOMPARE(all.out.count(QStringLiteral("-- Left out ")), 5);
}

void tst_CliEndToEnd::runAllRebuildsWhatTheServerAcceptsAndKeepsEveryKey()
{
    startStandin(databaseFixture(everyMark()));
    const CliResult run = m_cli->run(QStringList { "run", "--all" } + connection());
    QCOMPARE(run.exitStatus, 1);

    // Each key in list order; a failure with the server's message.
    QCOMPARE(outcomeLines(run.out),
             (QStringList { "A$Clustered\tA$Clustered$0\trebuilt", "B$Customer\tB$Customer$0\tfailed",
                            "C$Sales Header\tC$Sales Header$0\trebuilt", "D$Sales Line\tD$Sales Line$0\tfailed",
                            "E$Dup\tE$Dup$0\tfailed", "E$Dup\tE$Dup$0\tfailed", "F$Archive\tF$Archive$0\tfailed",
                            "G$Item\tG$Item$0\trebuilt", "Done: 3 rebuilt, 5 failed, 0 skipped, 0 not processed." }));
    QVERIFY2(outputLines(run.out)[1].contains(QLatin1String("FK_Customer")), qPrintable(run.out));
    // No progress bar when standard error is not a terminal.
    QVERIFY2(!run.err.contains(QLatin1Char('\r')) && !run.err.contains(QLatin1String("elapsed")), qPrintable(run.err));
    QVERIFY2(run.err.contains(m_cli->defaultErrorLog()), qPrintable(run.err));

    QCOMPARE(
        keysOf(m_standin->state(), kMarkedTables),
        (QStringList { "clustered", "non-clustered", "clustered", "non-clustered", "non-clustered", "clustered" }));
    // Five failures, five records in the default error log.
    QCOMPARE(contentsOf(m_cli->defaultErrorLog()).count("Source: CreateClusteredIndex\r\nNumber: "), 5);
}

void tst_CliEndToEnd::runChosenKeysOnlyWithTheLogsOfTheWindow()
{
    startStandin(databaseFixture(numberedTables(4, "T")));
    const QString logFile = m_cli->folder() + QStringLiteral("/activity.log");
    const QString errorLog = m_cli->folder() + QStringLiteral("/errors.txt");
    const CliResult run = m_cli->run(
        QStringList { "run", "--key", "T3$0", "--key", "T1$0", "--log-file", logFile, "--error-log", errorLog }
        + connection());
    QCOMPARE(run.exitStatus, 0);
    // List order, whatever the order of the options.
    QCOMPARE(outputLines(run.out),
             (QStringList { "T1\tT1$0\trebuilt", "T3\tT3$0\trebuilt",
                            "Done: 2 rebuilt, 0 failed, 0 skipped, 0 not processed." }));
    QCOMPARE(keysOf(m_standin->state(), kFiveTables.mid(0, 4)),
             (QStringList { "clustered", "non-clustered", "clustered", "non-clustered" }));
    QVERIFY(sentFor("T2").isEmpty());

    const QStringList logLines
        = QString::fromLocal8Bit(contentsOf(logFile)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(logLines.size(), 4);
    static const QRegularExpression stamped(
        QStringLiteral("^\\S.*\\d( [AP]M)?- (DROP|ADD): ALTER TABLE dbo\\.\\[T[13]\\] "));
    for (const QString& line : logLines)
        QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
    QVERIFY(logLines[0].contains(QLatin1String("- DROP: ALTER TABLE dbo.[T1] DROP CONSTRAINT [T1$0]")));
    QVERIFY(logLines[1].endsWith(QLatin1String("- ADD: ALTER TABLE dbo.[T1] ADD CONSTRAINT [T1$0] PRIMARY KEY "
                                               "CLUSTERED  ([No_]) ON [PRIMARY]")));
    QVERIFY(!QFile::exists(errorLog));

    const CliResult missing = m_cli->run(QStringList { "run", "--key", "T9$0" } + connection());
    QCOMPARE(missing.exitStatus, 64);
    QVERIFY2(missing.err.contains(QLatin1String("No primary key is named \"T9$0\".")), qPrintable(missing.err));
}

void tst_CliEndToEnd::navisionCheckOutcomes_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("navisionTable");
    QTest::addColumn<bool>("serverRunning");
    QTest::addColumn<QString>("message");

    QTest::newRow("wrong password") << "not the password" << true << true
                                    << "The Login information entered was invalid.";
    QTest::newRow("not a Navision database")
        << kLoginPassword << false << true << "The selected database is not a valid Navision 4.0 Database";
    QTest::newRow("no server") << kLoginPassword << true << false << "Could not connect to the passed server.";
}

void tst_CliEndToEnd::navisionCheckOutcomes()
{
    QFETCH(QString, password);
    QFETCH(bool, navisionTable);
    QFETCH(bool, serverRunning);
    QFETCH(QString, message);

    QJsonObject fixture = databaseFixture(numberedTables(1, "T"));
    if (!navisionTable) {
        QJsonObject database = fixture[QLatin1String("databases")][0].toObject();
        database.remove(QLatin1String("navision_user_table"));
        fixture[QLatin1String("databases")] = QJsonArray { database };
    }
    startStandin(fixture);
    const QStringList arguments = connection();
    if (!serverRunning)
        m_standin->stop();
    m_cli->passwordVariable = password;
    for (const QStringList& command : { QStringList { "list" }, QStringList { "run", "--all" } }) {
        const CliResult result = m_cli->run(command + arguments);
        QCOMPARE(result.exitStatus, 2);
        QCOMPARE(result.out, QString());
        QCOMPARE(result.err, QStringLiteral("quorvane-cli: ") + message + QLatin1Char('\n'));
    }
    if (serverRunning)
        QVERIFY(sentFor("T1").isEmpty());
}

void tst_CliEndToEnd::passwordSources_data()
{
    QTest::addColumn<bool>("fromStdin");
    QTest::newRow("standard input") << true;
    QTest::newRow("environment") << false;
}

void tst_CliEndToEnd::passwordSources()
{
    QFETCH(bool, fromStdin);
    // The refused rebuilds put server messages into the output and the error log.
    startStandin(databaseFixture(everyMark(), {}, kAwkwardPassword));
    QStringList arguments { "run", "--all", "--log-file", m_cli->folder() + QStringLiteral("/activity.log") };
    if (fromStdin) {
        m_cli->passwordVariable.reset();
        m_cli->input = kAwkwardPassword.toUtf8() + "\n";
        arguments.append(QStringLiteral("--password-stdin"));
    } else {
        m_cli->passwordVariable = kAwkwardPassword;
    }
    const CliResult run = m_cli->run(arguments + connection());
    QCOMPARE(run.exitStatus, 1);
    QCOMPARE(outputLines(run.out).last(), QStringLiteral("Done: 3 rebuilt, 5 failed, 0 skipped, 0 not processed."));

    // The password is in no output and no file the program wrote.
    const QByteArray password = kAwkwardPassword.trimmed().toUtf8();
    QVERIFY(!run.out.toUtf8().contains(password));
    QVERIFY(!run.err.toUtf8().contains(password));
    QVERIFY(!contentsOf(m_cli->folder() + QStringLiteral("/activity.log")).contains(password));
    QVERIFY(!contentsOf(m_cli->defaultErrorLog()).isEmpty());
    QVERIFY(!contentsOf(m_cli->defaultErrorLog()).contains(password));

    // Without any source and without a terminal there is nothing to ask.
    m_cli->passwordVariable.reset();
    m_cli->input.clear();
    const CliResult none = m_cli->run(QStringList { "list" } + connection());
    QCOMPARE(none.exitStatus, 64);
    QVERIFY2(none.err.contains(QLatin1String("No password")), qPrintable(none.err));
}

void tst_CliEndToEnd::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no command") << QStringList {};
    QTest::newRow("stray word") << QStringList {
        "run", "Demo#2006", "--server", "s", "--database", "d", "--user", "u"
    };
}

void tst_CliEndToEnd::usageErrors()
{
    QFETCH(QStringList, arguments);
    const CliResult result = m_cli->run(arguments);
    QCOMPARE(result.exitStatus, 64);
    QCOMPARE(result.out, QString());
    QVERIFY2(result.err.contains(QLatin1String("Usage: quorvane-cli list")), qPrintable(result.err));
    QVERIFY(!result.err.contains(QLatin1String("Demo#2006")));

    const CliResult help = m_cli->run({ "--help" });
    QCOMPARE(help.exitStatus, 0);
    QVERIFY(help.out.contains(QLatin1String("Exit status:")));
}

void tst_CliEndToEnd::serverOptionBuildsTheLoginWindowsString()
{
    startStandin(databaseFixture(numberedTables(2, "T")));
    const CliResult list = m_cli->run({ "list", "--format", "csv", "--server", m_standin->dataSource(), "--database",
                                        kDatabaseName, "--user", kLoginName });
    // The template puts its fixed ",1433" behind the server typed; the port typed wins.
    QCOMPARE(list.exitStatus, 0);
    QCOMPARE(list.out.count(QStringLiteral("\r\n")), 3);
}

void tst_CliEndToEnd::runEndsBeforeTheLastKey_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QStringList>("lines"); // of the output, a failure up to its message
    QTest::addColumn<QStringList>("told"); // on standard error
    QTest::newRow("connection lost on T3's ADD")
        << fault("add", "T3", "disconnect", true)
        << QStringList { "T1\tT1$0\trebuilt", "T2\tT2$0\trebuilt", "T3\tT3$0\tfailed",
                         "Done: 2 rebuilt, 1 failed, 0 skipped, 2 not processed." }
        << QStringList { "The connection to the server was lost. 2 ticked tables were not processed." };
    QTest::newRow("Ctrl+C while the server works on T2's ADD")
        << fault("add", "T2", "delay_ms", 3000)
        << QStringList { "T1\tT1$0\trebuilt", "T2\tT2$0\trebuilt",
                         "Done: 2 rebuilt, 0 failed, 0 skipped, 3 not processed." }
        << QStringList { "Ctrl+C: stopping once the current table's transaction has ended.",
                         "3 keys were not processed" };
}

void tst_CliEndToEnd::runEndsBeforeTheLastKey()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, told);
    startStandin(databaseFixture(numberedTables(5, "T"), { fault }));
    QProcess process;
    m_cli->start(process, QStringList { "run", "--all" } + connection());
    if (fault.contains(QLatin1String("delay_ms"))) {
        static const QRegularExpression add(QStringLiteral("^ALTER TABLE dbo\\.\\[T2\\] ADD"));
        QTRY_VERIFY_WITH_TIMEOUT(!m_standin->sqlTexts().filter(add).isEmpty(), 20000);
        QVERIFY(CliProcess::interrupt(process));
    }
    const CliResult run = CliProcess::resultOf(process);

    QCOMPARE(run.exitStatus, 1);
    QCOMPARE(outcomeLines(run.out), lines);
    for (const QString& text : told)
        QVERIFY2(run.err.contains(text), qPrintable(run.err));
    // The table in progress was committed or rolled back whole, nothing was sent for a later one,
    // and every table has its key.
    for (qsizetype later = lines.size(); later <= kFiveTables.size(); ++later)
        QVERIFY2(sentFor(kFiveTables[later - 1]).isEmpty(), qPrintable(kFiveTables[later - 1]));
    QCOMPARE(keysOf(m_standin->state(), kFiveTables),
             (QStringList { "clustered", "clustered", "non-clustered", "non-clustered", "non-clustered" }));
}

QTEST_GUILESS_MAIN(tst_CliEndToEnd)
#include "tst_cli_e2e.moc"
