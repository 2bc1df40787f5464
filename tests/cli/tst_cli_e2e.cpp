#include "CliProcess.h"
#include "support/StandinWindow.h"

#include <QDeadlineTimer>
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

// The fixture with the Navision per-user table the check looks for, and the login's password.
QJsonObject navisionFixture(const QJsonArray& tables, const QJsonArray& faults = {},
                            const QString& password = kLoginPassword)
{
    QJsonObject fixture = databaseFixture(tables, faults);
    QJsonArray logins = fixture[QLatin1String("logins")].toArray();
    QJsonObject login = logins[0].toObject();
    login[QLatin1String("password")] = password;
    logins[0] = login;
    fixture[QLatin1String("logins")] = logins;
    QJsonArray databases = fixture[QLatin1String("databases")].toArray();
    QJsonObject database = databases[0].toObject();
    database[QLatin1String("users")] = QJsonArray { QJsonObject { { "name", kLoginName }, { "sid", "0x0A0B" } } };
    database[QLatin1String("navision_user_table")] = QJsonObject { { "sids", QJsonArray { "0x0A0B" } } };
    databases[0] = database;
    fixture[QLatin1String("databases")] = databases;
    return fixture;
}

QJsonArray numberedTables(int count)
{
    QJsonArray tables;
    for (int n = 1; n <= count; ++n)
        tables.append(keyedTable(QStringLiteral("T%1").arg(n)));
    return tables;
}

// Every kind of key a Navision database holds: plain ones, one already clustered, one referenced
// by a foreign key, one on a table with its own clustered index, a table name in two schemas and
// a table outside dbo.
QJsonArray everyKind()
{
    QJsonObject clustered = keyedTable(QStringLiteral("CRONUS$Clustered"));
    clustered[QLatin1String("primary_key")] = primaryKey(QStringLiteral("CRONUS$Clustered$0"), { "No_" }, true);
    QJsonObject referenced = keyedTable(QStringLiteral("CRONUS$Customer"));
    QJsonObject referencing = keyedTable(QStringLiteral("CRONUS$Sales"), { "No_", "Customer No_" });
    referencing[QLatin1String("foreign_keys")]
        = QJsonArray { QJsonObject { { "name", "FK_Sales_Customer" },
                                     { "columns", QJsonArray { "Customer No_" } },
                                     { "references", QJsonObject { { "table", "CRONUS$Customer" } } } } };
    QJsonObject ownIndex = keyedTable(QStringLiteral("CRONUS$Ledger"), { "No_", "Date" });
    ownIndex[QLatin1String("indexes")]
        = QJsonArray { QJsonObject { { "name", "$1" }, { "clustered", true }, { "columns", QJsonArray { "Date" } } } };
    return { keyedTable(QStringLiteral("CRONUS$Item")),
             clustered,
             referenced,
             referencing,
             ownIndex,
             keyedTable(QStringLiteral("CRONUS$Twin")),
             keyedTable(QStringLiteral("CRONUS$Twin"), { "No_" }, { "No_" }, QStringLiteral("sales")),
             keyedTable(QStringLiteral("CRONUS$Elsewhere"), { "No_" }, { "No_" }, QStringLiteral("sales")) };
}

bool isClustered(const QJsonObject& state, const QString& table)
{
    const std::optional<QJsonObject> key = primaryKeyIn(state, table);
    return key && (*key)[QLatin1String("clustered")].toBool();
}

QStringList outputLines(const QString& text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
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
    void listInTextFitsTheTerminal();
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
    void lostConnectionStopsTheRun();
    void interruptFinishesTheTableInProgress();

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
    startStandin(navisionFixture(everyKind()));
    // The server's order of constraint names.
    const QStringList order { "CRONUS$Clustered$0", "CRONUS$Customer$0", "CRONUS$Elsewhere$0", "CRONUS$Item$0",
                              "CRONUS$Ledger$0",    "CRONUS$Sales$0",    "CRONUS$Twin$0",      "CRONUS$Twin$0" };

    const CliResult json = m_cli->run(QStringList { "list", "--format", "json" } + connection());
    QCOMPARE(json.exitStatus, 0);
    QVERIFY2(json.err.isEmpty(), qPrintable(json.err));
    const QJsonArray array = QJsonDocument::fromJson(json.out.toUtf8()).array();
    QStringList constraints;
    for (const QJsonValue& key : array) {
        constraints.append(key[QLatin1String("constraint")].toString());
        QCOMPARE(key.toObject().keys(),
                 (QStringList { "clustered", "constraint", "refusal", "reserved_kb", "rows", "schema", "table" }));
        QCOMPARE(key[QLatin1String("constraint")].toString(), key[QLatin1String("table")].toString() + "$0");
    }
    QCOMPARE(constraints, order);
    // What the catalogue predicts for each kind.
    const auto refusal = [&array](int row) { return array[row][QLatin1String("refusal")]; };
    QCOMPARE(array[0][QLatin1String("clustered")], QJsonValue(true));
    QCOMPARE(array[3][QLatin1String("clustered")], QJsonValue(false));
    QVERIFY(refusal(0).isNull() && refusal(3).isNull() && refusal(5).isNull());
    QCOMPARE(array[3][QLatin1String("schema")], QJsonValue(QStringLiteral("dbo")));
    QCOMPARE(refusal(1), QJsonValue(QStringLiteral("a foreign key refers to the key, so the DROP will fail")));
    QCOMPARE(refusal(2), QJsonValue(QStringLiteral("the table is not in schema dbo")));
    QVERIFY(array[2][QLatin1String("schema")].isNull());
    QCOMPARE(refusal(4), QJsonValue(QStringLiteral("the table has another clustered index, so the ADD will fail")));
    QVERIFY(refusal(6).toString().contains(QLatin1String("more than one schema")));
    QVERIFY(refusal(7).toString().contains(QLatin1String("more than one schema")));

    const CliResult csv = m_cli->run(QStringList { "list", "--format", "csv" } + connection());
    QCOMPARE(csv.exitStatus, 0);
    const QStringList rows = csv.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), order.size() + 1);
    QCOMPARE(rows[0], QStringLiteral("constraint,table,schema,clustered,rows,reserved_kb,refusal"));
    for (qsizetype n = 0; n < order.size(); ++n)
        QVERIFY2(rows[n + 1].startsWith(order[n] + QLatin1Char(',')), qPrintable(rows[n + 1]));

    // list changes nothing and sends only the check and the catalogue queries.
    for (const QString& sql : m_standin->sqlTexts())
        QVERIFY2(!sql.startsWith(QLatin1String("ALTER")), qPrintable(sql));
}

void tst_CliEndToEnd::listInTextFitsTheTerminal()
{
    const QString longName = QStringLiteral("CRONUS International Ltd_$Sales Invoice Line Archive Comment");
    startStandin(navisionFixture({ keyedTable(longName), keyedTable(QStringLiteral("B")) }));
    const CliResult text = m_cli->run(QStringList { "list" } + connection());
    QCOMPARE(text.exitStatus, 0);
    const QStringList lines = outputLines(text.out);
    QCOMPARE(lines.size(), 3);
    for (const QString& line : lines)
        QVERIFY2(line.size() <= 80, qPrintable(line));
    QVERIFY2(lines[2].contains(QLatin1String("Comment$0")), qPrintable(lines[2]));
    QVERIFY2(lines[2].contains(QStringLiteral("\u2026")), qPrintable(lines[2]));
}

void tst_CliEndToEnd::runNotClusteredLeavesTheOthersAlone()
{
    startStandin(navisionFixture(everyKind()));
    const CliResult run = m_cli->run(QStringList { "run" } + connection());
    QCOMPARE(run.exitStatus, 0);
    QCOMPARE(outputLines(run.out),
             (QStringList { "CRONUS$Item\tCRONUS$Item$0\trebuilt", "CRONUS$Sales\tCRONUS$Sales$0\trebuilt",
                            "Done: 2 rebuilt, 0 failed, 0 skipped, 0 not processed." }));
    const QJsonObject state = m_standin->state();
    for (const char* table : { "CRONUS$Item", "CRONUS$Sales", "CRONUS$Clustered" })
        QVERIFY2(isClustered(state, QLatin1String(table)), table);
    for (const char* table : { "CRONUS$Customer", "CRONUS$Ledger", "CRONUS$Twin" })
        QVERIFY2(!isClustered(state, QLatin1String(table)), table);
    // Nothing at all was sent for the keys left alone.
    for (const char* table :
         { "CRONUS$Customer", "CRONUS$Ledger", "CRONUS$Twin", "CRONUS$Elsewhere", "CRONUS$Clustered" })
        QVERIFY2(sentFor(QLatin1String(table)).isEmpty(), table);
}

void tst_CliEndToEnd::scriptOfTheChosenKeys()
{
    startStandin(navisionFixture(everyKind()));
    const CliResult chosen = m_cli->run(QStringList { "script" } + connection());
    QCOMPARE(chosen.exitStatus, 0);
    const QStringList lines = outputLines(chosen.out);
    QVERIFY(lines.contains(QStringLiteral("-- Server: ") + m_standin->dataSource()));
    QVERIFY(lines.contains(QStringLiteral("-- Database: CRONUS")));
    QVERIFY(lines.contains(QStringLiteral("SET XACT_ABORT ON")));
    QCOMPARE(lines.count(QStringLiteral("BEGIN TRANSACTION")), 2);
    QVERIFY(lines.contains(QStringLiteral("ALTER TABLE dbo.[CRONUS$Item] DROP CONSTRAINT [CRONUS$Item$0]")));
    QVERIFY(lines.contains(QStringLiteral(
        "ALTER TABLE dbo.[CRONUS$Sales] ADD CONSTRAINT [CRONUS$Sales$0] PRIMARY KEY CLUSTERED  ([No_]) ON [PRIMARY]")));
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
    startStandin(navisionFixture(everyKind()));
    const CliResult run = m_cli->run(QStringList { "run", "--all" } + connection());
    QCOMPARE(run.exitStatus, 1);

    const QStringList lines = outputLines(run.out);
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines[0], QStringLiteral("CRONUS$Clustered\tCRONUS$Clustered$0\trebuilt"));
    QVERIFY2(lines[1].startsWith(QLatin1String("CRONUS$Customer\tCRONUS$Customer$0\tfailed: ")), qPrintable(lines[1]));
    QVERIFY2(lines[1].contains(QLatin1String("FK_Sales_Customer")), qPrintable(lines[1]));
    QVERIFY2(lines[2].startsWith(QLatin1String("CRONUS$Elsewhere\tCRONUS$Elsewhere$0\tfailed: ")),
             qPrintable(lines[2]));
    QCOMPARE(lines[3], QStringLiteral("CRONUS$Item\tCRONUS$Item$0\trebuilt"));
    QVERIFY2(lines[4].startsWith(QLatin1String("CRONUS$Ledger\tCRONUS$Ledger$0\tfailed: ")), qPrintable(lines[4]));
    QCOMPARE(lines[5], QStringLiteral("CRONUS$Sales\tCRONUS$Sales$0\trebuilt"));
    QVERIFY2(lines[6].startsWith(QLatin1String("CRONUS$Twin\tCRONUS$Twin$0\tfailed: ")), qPrintable(lines[6]));
    QCOMPARE(lines[8], QStringLiteral("Done: 3 rebuilt, 5 failed, 0 skipped, 0 not processed."));
    // No progress bar when standard error is not a terminal.
    QVERIFY2(!run.err.contains(QLatin1Char('\r')) && !run.err.contains(QLatin1String("elapsed")), qPrintable(run.err));
    QVERIFY2(run.err.contains(m_cli->defaultErrorLog()), qPrintable(run.err));

    const QJsonObject state = m_standin->state();
    for (const char* table : { "CRONUS$Clustered", "CRONUS$Item", "CRONUS$Sales" })
        QVERIFY2(isClustered(state, QLatin1String(table)), table);
    for (const char* table : { "CRONUS$Customer", "CRONUS$Ledger", "CRONUS$Twin" }) {
        QVERIFY2(primaryKeyIn(state, QLatin1String(table)).has_value(), table);
        QVERIFY2(!isClustered(state, QLatin1String(table)), table);
    }
    // Five failures, five records in the default error log.
    const QByteArray errorLog = contentsOf(m_cli->defaultErrorLog());
    QCOMPARE(errorLog.count("Source: CreateClusteredIndex\r\nNumber: "), 5);
}

void tst_CliEndToEnd::runChosenKeysOnlyWithTheLogsOfTheWindow()
{
    startStandin(navisionFixture(numberedTables(4)));
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
    const QJsonObject state = m_standin->state();
    QVERIFY(isClustered(state, "T1") && isClustered(state, "T3"));
    QVERIFY(!isClustered(state, "T2") && !isClustered(state, "T4"));
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

    // A failure goes to the error log named, in the window's three-line record.
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

    QJsonObject fixture = navisionFixture(numberedTables(1));
    if (!navisionTable) {
        QJsonArray databases = fixture[QLatin1String("databases")].toArray();
        QJsonObject database = databases[0].toObject();
        database.remove(QLatin1String("navision_user_table"));
        databases[0] = database;
        fixture[QLatin1String("databases")] = databases;
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
    QJsonArray tables = numberedTables(2);
    // A refused rebuild puts a server message into the output and the error log.
    QJsonObject ownIndex = keyedTable(QStringLiteral("T3"), { "No_", "Date" });
    ownIndex[QLatin1String("indexes")]
        = QJsonArray { QJsonObject { { "name", "$1" }, { "clustered", true }, { "columns", QJsonArray { "Date" } } } };
    tables.append(ownIndex);
    startStandin(navisionFixture(tables, {}, kAwkwardPassword));

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
    QCOMPARE(outputLines(run.out).last(), QStringLiteral("Done: 2 rebuilt, 1 failed, 0 skipped, 0 not processed."));

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
    QTest::newRow("password as an option") << QStringList { "list", "--password", "Demo#2006", "--server", "s" };
    QTest::newRow("stray word") << QStringList {
        "run", "Demo#2006", "--server", "s", "--database", "d", "--user", "u"
    };
    QTest::newRow("unknown format") << QStringList { "list",       "--format", "yaml",   "--server", "s",
                                                     "--database", "d",        "--user", "u" };
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
    startStandin(navisionFixture(numberedTables(2)));
    const CliResult list = m_cli->run({ "list", "--format", "csv", "--server", m_standin->dataSource(), "--database",
                                        kDatabaseName, "--user", kLoginName });
    // The template puts its fixed ",1433" behind the server typed; the port typed wins.
    QCOMPARE(list.exitStatus, 0);
    QCOMPARE(list.out.count(QStringLiteral("\r\n")), 3);
}

void tst_CliEndToEnd::lostConnectionStopsTheRun()
{
    startStandin(navisionFixture(numberedTables(5), { fault("add", "T3", "disconnect", true) }));
    const CliResult run = m_cli->run(QStringList { "run", "--all" } + connection());
    QCOMPARE(run.exitStatus, 1);
    const QStringList lines = outputLines(run.out);
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QStringLiteral("T1\tT1$0\trebuilt"));
    QVERIFY2(lines[2].startsWith(QLatin1String("T3\tT3$0\tfailed: ")), qPrintable(lines[2]));
    QCOMPARE(lines[3], QStringLiteral("Done: 2 rebuilt, 1 failed, 0 skipped, 2 not processed."));
    QVERIFY2(
        run.err.contains(QLatin1String("The connection to the server was lost. 2 ticked tables were not processed.")),
        qPrintable(run.err));

    // Nothing was sent after the cut, and every key is still there.
    QVERIFY(sentFor("T4").isEmpty() && sentFor("T5").isEmpty());
    const QJsonObject state = m_standin->state();
    QVERIFY(isClustered(state, "T1") && isClustered(state, "T2"));
    for (const char* table : { "T3", "T4", "T5" }) {
        QVERIFY2(primaryKeyIn(state, QLatin1String(table)).has_value(), table);
        QVERIFY2(!isClustered(state, QLatin1String(table)), table);
    }
}

void tst_CliEndToEnd::interruptFinishesTheTableInProgress()
{
    startStandin(navisionFixture(numberedTables(5), { fault("add", "T2", "delay_ms", 3000) }));
    QProcess process;
    m_cli->start(process, QStringList { "run", "--all" } + connection());

    // Ctrl+C while the server is still working on T2's ADD.
    const QString add = QStringLiteral("ALTER TABLE dbo.[T2] ADD");
    const auto addArrived = [&] {
        const QStringList texts = m_standin->sqlTexts();
        return std::any_of(texts.cbegin(), texts.cend(), [&add](const QString& sql) { return sql.startsWith(add); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(addArrived(), 20000);
    QVERIFY(CliProcess::interrupt(process));
    const CliResult run = CliProcess::resultOf(process);

    QCOMPARE(run.exitStatus, 1);
    QCOMPARE(outputLines(run.out),
             (QStringList { "T1\tT1$0\trebuilt", "T2\tT2$0\trebuilt",
                            "Done: 2 rebuilt, 0 failed, 0 skipped, 3 not processed." }));
    QVERIFY2(run.err.contains(QLatin1String("Ctrl+C: stopping once the current table's transaction has ended.")),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(QLatin1String("3 keys were not processed")), qPrintable(run.err));
    // T2's transaction was committed; no later table was touched; every table has its key.
    const QJsonObject state = m_standin->state();
    QVERIFY(isClustered(state, "T1") && isClustered(state, "T2"));
    QVERIFY(sentFor("T3").isEmpty());
    for (const char* table : { "T3", "T4", "T5" })
        QVERIFY2(primaryKeyIn(state, QLatin1String(table)).has_value() && !isClustered(state, QLatin1String(table)),
                 table);
}

QTEST_GUILESS_MAIN(tst_CliEndToEnd)
#include "tst_cli_e2e.moc"
