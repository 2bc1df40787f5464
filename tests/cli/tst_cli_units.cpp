#include "command/CommandLine.h"
#include "selection/ListFormat.h"
#include "terminal/ProgressBar.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>
#include <tuple>

using namespace quorvane;
using namespace quorvane::cli;

namespace {

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
    add("keys", QStringList { "not clustered", "all", options.keyNames.join(',') }[static_cast<int>(options.keys)]);
    add("log", options.logFile);
    add("errors", options.errorLog);
    return parts.join(' ') + (options.passwordFromStdin ? " stdin" : "");
}

KeyRow keyRow(const QString& table, std::optional<KeyDetails> details = std::nullopt)
{
    return KeyRow { table + QStringLiteral("$0"), table, QStringLiteral("CRONUS"), std::move(details) };
}

const QString kLongTable = QStringLiteral("CRONUS International Ltd_$Sales Invoice Line Archive Comment");

} // namespace

// What the command line takes apart and puts together without a server: the arguments, the list's
// three formats and the progress bar; the end-to-end tests show them in the running program.
class tst_CliUnits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("outcome");
        // Arguments apart at blanks (two blanks: an empty one), "+ f" the login window's fields.
        const auto row = [](const char* name, QString arguments, const QString& outcome) {
            QTest::newRow(name) << arguments.replace("+ f", "--server sql01 --database NAV --user navadmin").split(' ')
                                << outcome;
        };
        const QString fields = QStringLiteral("server=[sql01] database=[NAV] user=[navadmin]");
        row("unknown command", "fix + f", "error: Unknown command");
        row("no connection", "list", "error: Name the server");
        row("connect and fields", "list --connect Data=x;Password=%PW%; + f", "error: cannot be combined");
        row("connect without placeholder", "list --connect Data=x;Password=hunter2;", "error: must hold %PW%");
        row("blank server", "list --server  --database NAV --user u", "error: The Server field was left blank.");
        row("blank database", "list --server s --database  --user u", "error: The Database field was left blank.");
        row("missing user", "list --server s --database NAV", "error: The Username field was left blank.");
        row("format of run", "run --format csv + f", "error: belongs to list");
        row("unknown format", "list --format xml + f", "error: text, csv or json");
        row("keys for list", "list --all + f", "error: belongs to script and run");
        row("log file for script", "script --log-file x + f", "error: belongs to run");
        row("two key choices", "run --all --key K + f", "error: one of");
        row("password as an option", "run --password hunter2 + f", "error: Unknown option");
        row("stray value", "run hunter2 + f", "error: Unexpected argument");
        row("missing value", "list --server", "error: Missing value");

        row("help of a command", "run -h", "help");
        row("version", "--version", "version");
        row("not clustered", "run --not-clustered + f", "run " + fields + " keys=[not clustered]");
        row("keys in the order given", "run --key B$0 --key A$0 + f", "run " + fields + " keys=[B$0,A$0]");
        QTest::newRow("fields kept as typed")
            << QStringList { "run",        "--server",   " sql01\\NAV,1500", "--database",
                             "NAV ",       "--user",     "DOM\\adm",         "--password-stdin",
                             "--log-file", "/tmp/a.log", "--error-log",      "/tmp/e.txt" }
            << "run server=[ sql01\\NAV,1500] database=[NAV ] user=[DOM\\adm] keys=[not clustered] log=[/tmp/a.log] "
               "errors=[/tmp/e.txt] stdin";
    }

    void parse()
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

    void formats()
    {
        // The rows, the format, and the output (JSON without its indentation).
        const std::tuple<KeyRows, QString, QString> rows[] = {
            // Text: long names lose their start.
            { KeyRows { keyRow(kLongTable, KeyDetails { false, 123456789, 987654321, KeyRefusal::OnPartitionScheme }),
                        keyRow("CRONUS International Ltd_$Customer", KeyDetails { true, 5, 16, {} }) },
              "text",
              "Schema  Table          Primary key     Clust.       Rows         KB  Refusal\n"
              "dbo     …hive Comment  …ive Comment$0  no      123456789  987654321  partitioned\n"
              "dbo     …td_$Customer  …d_$Customer$0  yes             5         16\n" },
            // Text without details.
            { KeyRows { keyRow(kLongTable), keyRow(kLongTable + kLongTable) }, "text",
              "Schema  Table                  Primary key             Clust.  Rows  KB  Refusal\n"
              "-       …Line Archive Comment  …ine Archive Comment$0  -          -   -  -\n"
              "-       …Line Archive Comment  …ine Archive Comment$0  -          -   -  -\n" },
            { KeyRows { keyRow("Plain", KeyDetails { true, 3, 16, {}, "Data Filegroup 1" }),
                        keyRow("Comma, \"quoted\"", KeyDetails { false, 0, 0, KeyRefusal::OutsideDbo, "PRIMARY" }),
                        keyRow("No details") },
              "csv",
              "constraint,table,schema,clustered,rows,reserved_kb,refusal,filegroup\r\n"
              "Plain$0,Plain,dbo,true,3,16,,Data Filegroup 1\r\n"
              "\"Comma, \"\"quoted\"\"$0\",\"Comma, \"\"quoted\"\"\",,false,0,0,"
              "the table is not in schema dbo,PRIMARY\r\n"
              "No details$0,No details,,,,,,\r\n" },
            { KeyRows { keyRow("A", KeyDetails { false, 5000000000LL, 42, KeyRefusal::OtherClusteredIndex, "PRIMARY" }),
                        keyRow("B", KeyDetails { true, 1, 8, {} }), keyRow("C") },
              "json",
              "[{\"clustered\":false,\"constraint\":\"A$0\",\"filegroup\":\"PRIMARY\",\"refusal\":\"the table has "
              "another clustered index, so "
              "the ADD will fail\",\"reserved_kb\":42,\"rows\":5000000000,\"schema\":\"dbo\",\"table\":\"A\"},"
              "{\"clustered\":true,\"constraint\":\"B$0\",\"filegroup\":null,\"refusal\":null,\"reserved_kb\":8,"
              "\"rows\":1,\"schema\":"
              "\"dbo\",\"table\":\"B\"},{\"clustered\":null,\"constraint\":\"C$0\",\"filegroup\":null,\"refusal\":null,"
              "\"reserved_kb\":"
              "null,\"rows\":null,\"schema\":null,\"table\":\"C\"}]" },
        };
        for (const auto& [keys, format, expected] : rows) {
            const QString output = format == "text" ? listAsText(keys)
                : format == "csv"
                ? listAsCsv(keys)
                : QString::fromUtf8(QJsonDocument::fromJson(listAsJson(keys).toUtf8()).toJson(QJsonDocument::Compact));
            QCOMPARE(output, expected);
        }
        // A name with no room left is shown as nothing.
        QCOMPARE(quorvane::cli::elidedLeft(QStringLiteral("Customer"), 0), QString());
    }

    // The bar takes what the figures leave.
    void progressLine()
    {
        const auto bar = [](int filled, int empty) { return '[' + QString(filled, u'#') + QString(empty, u'.') + ']'; };
        // Done, total, the time elapsed in ms, the width, and the line.
        const std::tuple<int, int, qint64, int, QString> rows[] = {
            { 10, 40, 60000, 66, bar(6, 20) + " 10/40  0:01:00 elapsed  ~0:03:00 left" }, // a quarter after a minute
            { 40, 40, 90123000, 66, bar(25, 0) + " 40/40  25:02:03 elapsed  ~0:00:00 left" }, // all done after a day
            { 0, 0, 0, 66, bar(0, 31) + " 0/0  0:00:00 elapsed  estimating" }, // nothing chosen
            { 123456, 999999, 999999999, 10, "[] 123456/" }, // narrow
        };
        for (const auto& [done, total, elapsedMs, width, expected] : rows)
            QCOMPARE(cli::progressLine(done, total, elapsedMs, width), expected);
    }

    void progressBarNotDrawnOnTheNullDevice()
    {
        // A character device that Windows's _isatty() takes for a terminal; files and pipes are seen
        // in the end-to-end runs, whose standard error is compared whole.
        std::FILE* nullDevice = std::fopen(QFile::encodeName(QProcess::nullDevice()).constData(), "w");
        QVERIFY(nullDevice);
        QVERIFY(!ProgressBar(nullDevice, 3).isShown());
        std::fclose(nullDevice);
    }
};

QTEST_GUILESS_MAIN(tst_CliUnits)
#include "tst_cli_units.moc"
