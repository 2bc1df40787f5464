#include "command/CommandLine.h"

#include <QTest>

using namespace quorvane::cli;

namespace {

const QStringList kFields { "--server", "sql01", "--database", "NAV", "--user", "navadmin" };

// What the parse gave, on one line: the kind, or the options that differ from the defaults, each
// value in brackets so that blanks show.
QString outcomeOf(const ParsedCommandLine& parsed)
{
    if (parsed.kind != ParsedCommandLine::Kind::Options)
        return QStringList { "", "help", "version", "error: " }[static_cast<int>(parsed.kind)] + parsed.error;
    const CliOptions& options = parsed.options;
    QStringList parts { QStringList { "list", "script", "run" }[static_cast<int>(options.command)] };
    const auto add = [&parts](const char* name, const QString& value) {
        if (!value.isEmpty())
            parts << QLatin1String(name) + QLatin1String("=[") + value + QLatin1Char(']');
    };
    add("server", options.server);
    add("database", options.database);
    add("user", options.user);
    add("connect", options.connect.value_or(QString()));
    add("format", QStringList { "", "csv", "json" }[static_cast<int>(options.format)]);
    add("keys", QStringList { "not clustered", "all", options.keyNames.join(',') }[static_cast<int>(options.keys)]);
    add("log", options.logFile);
    add("errors", options.errorLog);
    return parts.join(' ') + (options.passwordFromStdin ? " stdin" : "");
}

} // namespace

class tst_CommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
};

void tst_CommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outcome");

    const QString fields = QStringLiteral("server=[sql01] database=[NAV] user=[navadmin]");
    QTest::newRow("no command") << kFields << "error: Name a command";
    QTest::newRow("unknown command") << (QStringList { "fix" } + kFields) << "error: Unknown command";
    QTest::newRow("nothing at all") << QStringList {} << "error: Name a command";
    QTest::newRow("no connection") << QStringList { "list" } << "error: Name the server";
    QTest::newRow("connect and fields") << (QStringList { "list", "--connect", "Data Source=x;Password=%PW%;" }
                                            + kFields)
                                        << "error: cannot be combined";
    QTest::newRow("connect without placeholder")
        << QStringList { "list", "--connect", "Data Source=x;Password=hunter2;" } << "error: must hold %PW%";
    QTest::newRow("blank server") << QStringList { "list", "--server", "", "--database", "NAV", "--user", "u" }
                                  << "error: The Server field was left blank.";
    QTest::newRow("blank database") << QStringList { "list", "--server", "s", "--database", "", "--user", "u" }
                                    << "error: The Database field was left blank.";
    QTest::newRow("missing user") << QStringList { "list", "--server", "s", "--database", "NAV" }
                                  << "error: The Username field was left blank.";
    QTest::newRow("format of run") << (QStringList { "run", "--format", "csv" } + kFields) << "error: belongs to list";
    QTest::newRow("unknown format") << (QStringList { "list", "--format", "xml" } + kFields)
                                    << "error: text, csv or json";
    QTest::newRow("keys for list") << (QStringList { "list", "--all" } + kFields) << "error: belongs to script and run";
    QTest::newRow("log file for script") << (QStringList { "script", "--log-file", "x" } + kFields)
                                         << "error: belongs to run";
    QTest::newRow("two key choices") << (QStringList { "run", "--all", "--key", "K" } + kFields) << "error: one of";
    QTest::newRow("password as an option")
        << (QStringList { "run", "--password", "hunter2" } + kFields) << "error: Unknown option";
    QTest::newRow("stray value") << (QStringList { "run", "hunter2" } + kFields) << "error: Unexpected argument";
    QTest::newRow("missing value") << QStringList { "list", "--server" } << "error: Missing value";

    QTest::newRow("help") << QStringList { "--help" } << "help";
    QTest::newRow("help of a command") << QStringList { "run", "-h" } << "help";
    QTest::newRow("version") << QStringList { "--version" } << "version";
    QTest::newRow("default keys") << (QStringList { "script" } + kFields)
                                  << "script " + fields + " keys=[not clustered]";
    QTest::newRow("not clustered") << (QStringList { "run", "--not-clustered" } + kFields)
                                   << "run " + fields + " keys=[not clustered]";
    QTest::newRow("all") << (QStringList { "script", "--all" } + kFields) << "script " + fields + " keys=[all]";
    QTest::newRow("keys in the order given")
        << (QStringList { "run", "--key", "B$0", "--key", "A$0" } + kFields) << "run " + fields + " keys=[B$0,A$0]";
    QTest::newRow("fields kept as typed")
        << QStringList { "run",      "--server",         " sql01\\NAV,1500", "--database", "NAV ",        "--user",
                         "DOM\\adm", "--password-stdin", "--log-file",       "/tmp/a.log", "--error-log", "/tmp/e.txt" }
        << "run server=[ sql01\\NAV,1500] database=[NAV ] user=[DOM\\adm] keys=[not clustered] log=[/tmp/a.log] "
           "errors=[/tmp/e.txt] stdin";
    QTest::newRow("connection string kept as typed")
        << QStringList { "list", "--connect", "Data Source=h,1;User ID=u;Password=%PW%;", "--format", "json" }
        << "list connect=[Data Source=h,1;User ID=u;Password=%PW%;] format=[json] keys=[not clustered]";
}

void tst_CommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, outcome);

    const QString parsed = outcomeOf(parseCommandLine(arguments));
    // A usage error names the fault in its own words; the rest is compared whole.
    QVERIFY2(outcome.startsWith("error: ") ? parsed.startsWith("error: ") && parsed.contains(outcome.mid(7))
                                           : parsed == outcome,
             qPrintable(parsed));
    // A password typed where it does not belong is never repeated.
    QVERIFY(!parsed.contains(QLatin1String("hunter2")));
    for (const char* status : { "  0 ", "  1 ", "  2 ", "  64 " })
        QVERIFY2(helpText().contains(QLatin1String(status)), status);
}

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
