#include "command/CommandLine.h"

#include <QTest>

using namespace quorvane::cli;

namespace {

const QStringList kFields { "--server", "sql01", "--database", "NAV", "--user", "navadmin" };

} // namespace

Q_DECLARE_METATYPE(quorvane::cli::KeyChoice)

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void usageErrors_data();
    void usageErrors();
    void keyChoice_data();
    void keyChoice();
    void fieldsAndConnectStringAreKeptAsTyped();
    void helpAndUsageNameEveryExitStatus();
};

void tst_CommandLine::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("no command") << kFields << "Name a command";
    QTest::newRow("unknown command") << (QStringList { "fix" } + kFields) << "Unknown command";
    QTest::newRow("nothing at all") << QStringList {} << "Name a command";
    QTest::newRow("no connection") << QStringList { "list" } << "Name the server";
    QTest::newRow("connect and fields") << (QStringList { "list", "--connect", "Data Source=x;Password=%PW%;" }
                                            + kFields)
                                        << "cannot be combined";
    QTest::newRow("connect without placeholder")
        << QStringList { "list", "--connect", "Data Source=x;Password=hunter2;" } << "must hold %PW%";
    QTest::newRow("blank server") << QStringList { "list", "--server", "", "--database", "NAV", "--user", "u" }
                                  << "The Server field was left blank.";
    QTest::newRow("blank database") << QStringList { "list", "--server", "s", "--database", "", "--user", "u" }
                                    << "The Database field was left blank.";
    QTest::newRow("missing user") << QStringList { "list", "--server", "s", "--database", "NAV" }
                                  << "The Username field was left blank.";
    QTest::newRow("format of run") << (QStringList { "run", "--format", "csv" } + kFields) << "belongs to list";
    QTest::newRow("unknown format") << (QStringList { "list", "--format", "xml" } + kFields) << "text, csv or json";
    QTest::newRow("keys for list") << (QStringList { "list", "--all" } + kFields) << "belongs to script and run";
    QTest::newRow("log file for script") << (QStringList { "script", "--log-file", "x" } + kFields) << "belongs to run";
    QTest::newRow("two key choices") << (QStringList { "run", "--all", "--key", "K" } + kFields) << "one of";
    QTest::newRow("password as an option")
        << (QStringList { "run", "--password", "hunter2" } + kFields) << "Unknown option";
    QTest::newRow("stray value") << (QStringList { "run", "hunter2" } + kFields) << "Unexpected argument";
    QTest::newRow("missing value") << QStringList { "list", "--server" } << "Missing value";
}

void tst_CommandLine::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    const ParsedCommandLine parsed = parseCommandLine(arguments);
    QCOMPARE(parsed.kind, ParsedCommandLine::Kind::UsageError);
    QVERIFY2(parsed.error.contains(message), qPrintable(parsed.error));
    // A password typed where it does not belong is never repeated.
    QVERIFY(!parsed.error.contains(QLatin1String("hunter2")));
}

void tst_CommandLine::keyChoice_data()
{
    QTest::addColumn<QStringList>("keyOptions");
    QTest::addColumn<KeyChoice>("choice");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("default") << QStringList {} << KeyChoice::NotClustered << QStringList {};
    QTest::newRow("not clustered") << QStringList { "--not-clustered" } << KeyChoice::NotClustered << QStringList {};
    QTest::newRow("all") << QStringList { "--all" } << KeyChoice::All << QStringList {};
    QTest::newRow("keys in the order given")
        << QStringList { "--key", "B$0", "--key", "A$0" } << KeyChoice::Named << QStringList { "B$0", "A$0" };
}

void tst_CommandLine::keyChoice()
{
    QFETCH(QStringList, keyOptions);
    QFETCH(KeyChoice, choice);
    QFETCH(QStringList, names);

    for (const char* command : { "script", "run" }) {
        const ParsedCommandLine parsed = parseCommandLine(QStringList { command } + keyOptions + kFields);
        QCOMPARE(parsed.kind, ParsedCommandLine::Kind::Options);
        QCOMPARE(parsed.options.keys, choice);
        QCOMPARE(parsed.options.keyNames, names);
    }
}

void tst_CommandLine::fieldsAndConnectStringAreKeptAsTyped()
{
    const ParsedCommandLine fields
        = parseCommandLine({ "run", "--server", " sql01\\NAV,1500", "--database", "NAV ", "--user", "DOM\\adm",
                             "--password-stdin", "--log-file", "/tmp/a.log", "--error-log", "/tmp/e.txt" });
    QCOMPARE(fields.kind, ParsedCommandLine::Kind::Options);
    QCOMPARE(fields.options.command, Command::Run);
    QCOMPARE(fields.options.server, QStringLiteral(" sql01\\NAV,1500"));
    QCOMPARE(fields.options.database, QStringLiteral("NAV "));
    QCOMPARE(fields.options.user, QStringLiteral("DOM\\adm"));
    QVERIFY(fields.options.passwordFromStdin);
    QCOMPARE(fields.options.logFile, QStringLiteral("/tmp/a.log"));
    QCOMPARE(fields.options.errorLog, QStringLiteral("/tmp/e.txt"));

    const QString connect
        = QStringLiteral("Provider=sqloledb;Data Source=h,1;Initial Catalog=D;User ID=u;Password=%PW%;");
    const ParsedCommandLine string = parseCommandLine({ "list", "--connect", connect, "--format", "json" });
    QCOMPARE(string.kind, ParsedCommandLine::Kind::Options);
    QCOMPARE(string.options.connect, connect);
    QCOMPARE(string.options.format, ListFormat::Json);
}

void tst_CommandLine::helpAndUsageNameEveryExitStatus()
{
    QCOMPARE(parseCommandLine({ "--help" }).kind, ParsedCommandLine::Kind::Help);
    QCOMPARE(parseCommandLine({ "run", "-h" }).kind, ParsedCommandLine::Kind::Help);
    QCOMPARE(parseCommandLine({ "--version" }).kind, ParsedCommandLine::Kind::Version);
    for (const char* status : { "  0 ", "  1 ", "  2 ", "  64 " })
        QVERIFY2(helpText().contains(QLatin1String(status)), status);
    for (const char* command : { "list", "script", "run" })
        QVERIFY(usageText().contains(QLatin1String("quorvane-cli ") + QLatin1String(command)));
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
