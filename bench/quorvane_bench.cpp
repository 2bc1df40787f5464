// Measures the program against the stand-in at Navision scale and prints the figures:
// the primary-key list load against FreeTDS's tsql fetching the same query, the same load with the
// window start-up shows while it reads the list, Select All with its
// count and one tick's recount, the peak memory with the list filled, and a fix run against the
// same DROP/ADD statements sent as one tsql script. Each figure is the median of several runs;
// each ratio is measured side by side in the same run.
#include "db/DriverEnvironment.h"
#include "db/OdbcConnection.h"
#include "support/Clock.h"
#include "login/SettingsStore.h"
#include "widgets/Platform.h"
#include "keys/PrimaryKeyListQuery.h"
#include "main/frmMain.h"
#include "rebuild/Statements.h"
#include "support/RecordingMessageSink.h"
#include "support/StandinProcess.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace quorvane;
using test::StandinProcess;

namespace {

const QString kDatabase = QStringLiteral("CRONUS");
const QString kUser = QStringLiteral("navuser");
const QString kPassword = QStringLiteral("Demo#2006");

class NoSettings final : public SettingsStore
{
public:
    void write(const QString&, const QString&, const QString&) override { }
    QString read(const QString&, const QString&, const QString& defaultValue) const override { return defaultValue; }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double millisecondsOf(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

long peakResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

QString generateFixture(const QTemporaryDir& folder, int companies, int tables, int clusteredPercent)
{
    const QString path = StandinProcess::generatedFixture(folder.path(), companies, tables, clusteredPercent);
    if (path.isEmpty())
        qFatal("standin-gen failed");
    return path;
}

// The program's main window over the stand-in, as the program builds it, with a login that
// succeeds at once and messages recorded instead of shown.
struct Program
{
    explicit Program(const QString& connectString, const QString& folder)
        : platform { messages, settings, clock, db::odbcConnectionFactory(), folder }
        , window(platform, [connectString](frmMain&, bool) { return connectString; })
    { }
    QTreeView& lvTables() { return *window.findChild<QTreeView*>(QStringLiteral("lvTables")); }
    QCheckBox& chkAll() { return *window.findChild<QCheckBox*>(QStringLiteral("chkAll")); }
    QCheckBox& chkLog() { return *window.findChild<QCheckBox*>(QStringLiteral("chkLog")); }

    test::RecordingMessageSink messages;
    NoSettings settings;
    SystemClock clock;
    Platform platform;
    frmMain window;
};

// tsql reading a script from standard input; the output is read and thrown away, as a client would.
double tsqlMilliseconds(const StandinProcess& standin, const QByteArray& script)
{
    return millisecondsOf([&] {
        QProcess tsql;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TDSVER"), QStringLiteral("7.4"));
        tsql.setProcessEnvironment(environment);
        tsql.start(QStringLiteral("tsql"),
                   { QStringLiteral("-H"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                     QString::number(standin.port()), QStringLiteral("-U"), kUser, QStringLiteral("-P"), kPassword,
                     QStringLiteral("-D"), kDatabase, QStringLiteral("-o"), QStringLiteral("q") });
        tsql.write(script);
        tsql.closeWriteChannel();
        while (tsql.state() != QProcess::NotRunning) {
            tsql.waitForReadyRead(100);
            tsql.readAll();
        }
        if (tsql.exitCode() != 0)
            qFatal("tsql failed: %s", tsql.readAllStandardError().constData());
    });
}

struct ListFigures
{
    int rows = 0;
    double loadMs = 0;
    double shownMs = 0;
    double tsqlMs = 0;
    double odbcMs = 0;
    double selectAllMs = 0;
    double recountMs = 0;
    double detailsMs = 0;
    long peakKb = 0;
};

ListFigures measureList(const QString& fixture, int rows, int runs, const QString& self, const QTemporaryDir& folder)
{
    const StandinProcess standin(fixture, StandinProcess::Observation::Unrecorded);
    if (!standin.started())
        qFatal("the stand-in did not start");
    const QString connectString = standin.connectionString(kDatabase, kUser, kPassword);
    ListFigures figures;
    figures.rows = rows;

    std::vector<double> load, shown, tsql, odbc, selectAll, recount, details;
    const QByteArray listScript = QByteArray(kPrimaryKeyListQuery) + "\ngo\nexit\n";
    // The load as the bare routines run it, and as start-up runs it: with the window that shows
    // the keys read so far. Taken in turns, each first in every other run.
    const auto timedLoad = [&](Program& program, bool withReadingKeys) {
        const double milliseconds = millisecondsOf([&] {
            if (withReadingKeys)
                program.window.ShowReadingKeys(connectString);
            if (program.window.OpenConnection(connectString))
                program.window.LoadTablesIntoLV();
        });
        if (program.lvTables().model()->rowCount() != rows)
            qFatal("the list holds %d rows, expected %d", program.lvTables().model()->rowCount(), rows);
        return milliseconds;
    };
    for (int run = 0; run < runs; ++run) {
        Program program(connectString, folder.path());
        {
            Program started(connectString, folder.path());
            if (run % 2 == 0) {
                load.push_back(timedLoad(program, false));
                shown.push_back(timedLoad(started, true));
            } else {
                shown.push_back(timedLoad(started, true));
                load.push_back(timedLoad(program, false));
            }
        }
        // The key details that follow the list: one catalogue query, every row marked.
        details.push_back(millisecondsOf([&] { program.window.LoadKeyDetails(); }));
        if (!program.window.hasKeyDetails())
            qFatal("the key details did not load");
        tsql.push_back(tsqlMilliseconds(standin, listScript));
        // The database layer alone, without the window: where the load's time goes.
        odbc.push_back(millisecondsOf([&] {
            const std::unique_ptr<db::Connection> connection = db::CreateOdbcConnection();
            connection->Open(connectString);
            const std::unique_ptr<db::RecordSet> keys = connection->Execute(QString::fromLatin1(kPrimaryKeyListQuery));
            for (; !keys->eof(); keys->MoveNext())
                for (int field = 0; field < 3; ++field)
                    keys->Fields(field);
        }));

        program.chkAll().setChecked(true);
        selectAll.push_back(millisecondsOf([&] { program.window.chkAll_Click(); }));
        QAbstractItemModel& model = *program.lvTables().model();
        const QModelIndex middle = model.index(rows / 2, 0);
        recount.push_back(millisecondsOf([&] { model.setData(middle, Qt::Unchecked, Qt::CheckStateRole); }));
    }
    figures.loadMs = median(load);
    figures.shownMs = median(shown);
    figures.tsqlMs = median(tsql);
    figures.odbcMs = median(odbc);
    figures.selectAllMs = median(selectAll);
    figures.recountMs = median(recount);
    figures.detailsMs = median(details);

    // Peak memory in a process of its own that does nothing else.
    QProcess child;
    child.start(self, { QStringLiteral("--memory-child"), connectString });
    child.waitForFinished(-1);
    figures.peakKb = child.readAllStandardOutput().trimmed().toLong();
    return figures;
}

int memoryChild(const QString& connectString)
{
    const QTemporaryDir folder;
    Program program(connectString, folder.path());
    if (!program.window.Form_Load())
        return 1;
    program.window.show();
    QCoreApplication::processEvents();
    std::printf("%ld\n", peakResidentKilobytes());
    return 0;
}

struct FixFigures
{
    int tables = 0;
    double runMs = 0;
    double tsqlMs = 0;
    double odbcMs = 0;
};

FixFigures measureFixRun(const QString& fixture, int tables, int runs, const QTemporaryDir& folder)
{
    const StandinProcess standin(fixture, StandinProcess::Observation::Unrecorded);
    const QString connectString = standin.connectionString(kDatabase, kUser, kPassword);
    Program program(connectString, folder.path());
    if (!program.window.Form_Load())
        qFatal("the program did not start");
    QCoreApplication::processEvents(); // the key details, as when the window first shows
    program.chkLog().setChecked(false);
    program.chkAll().setChecked(true);
    program.window.chkAll_Click();

    // The same DROP/ADD statements as one script, one batch a statement, in list order.
    QByteArray script;
    struct Rebuild
    {
        QString keyQuery, drop, add;
    };
    std::vector<Rebuild> rebuilds;
    const QAbstractItemModel& model = *program.lvTables().model();
    for (int row = 0; row < model.rowCount(); ++row) {
        const QString constraint = model.index(row, 0).data().toString();
        const QString table = model.index(row, 1).data().toString();
        QStringList columns;
        const auto keyColumns = program.window.connection().Execute(keyColumnQuery(table, constraint));
        for (; !keyColumns->eof(); keyColumns->MoveNext())
            columns << keyColumns->Fields(0);
        rebuilds.push_back({ keyColumnQuery(table, constraint), dropConstraintStatement(table, constraint),
                             addClusteredKeyStatement(table, constraint, bracketedColumnList(columns)) });
        script += rebuilds.back().drop.toUtf8() + "\ngo\n" + rebuilds.back().add.toUtf8() + "\ngo\n";
    }
    script += "exit\n";

    // The database layer alone sending what a rebuild sends: where the run's time goes.
    const std::unique_ptr<db::Connection> direct = db::CreateOdbcConnection();
    direct->Open(connectString);
    direct->setCommandTimeout(0);
    std::vector<double> run, tsql, odbc;
    for (int repeat = 0; repeat < runs; ++repeat) {
        run.push_back(millisecondsOf([&] { program.window.PerformFix(); }));
        tsql.push_back(tsqlMilliseconds(standin, script));
        odbc.push_back(millisecondsOf([&] {
            for (const Rebuild& rebuild : rebuilds) {
                for (const auto keys = direct->Execute(rebuild.keyQuery); !keys->eof(); keys->MoveNext())
                    keys->Fields(0);
                direct->BeginTrans();
                direct->Execute(rebuild.drop);
                direct->Execute(rebuild.add);
                direct->CommitTrans();
            }
        }));
    }
    if (!program.messages.texts.isEmpty())
        qFatal("the fix run reported failures: %s", qPrintable(program.messages.texts.join(QLatin1Char('\n'))));
    return { tables, median(run), median(tsql), median(odbc) };
}

} // namespace

int main(int argc, char* argv[])
{
    // As the program does, before any thread exists.
    quorvane::db::RemoveDriverEnvironmentOverrides();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Quorvane benchmarks against the stand-in"));
    parser.addHelpOption();
    const QCommandLineOption sizesOption(QStringLiteral("sizes"), QStringLiteral("Numbers of primary keys."),
                                         QStringLiteral("LIST"), QStringLiteral("1000,10000,100000"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Runs per figure."), QStringLiteral("N"),
                                        QStringLiteral("5"));
    const QCommandLineOption fixOption(QStringLiteral("fix-tables"), QStringLiteral("Tables of the fix run."),
                                       QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption memoryChildOption(QStringLiteral("memory-child"),
                                               QStringLiteral("Internal: load the list and print the peak memory."),
                                               QStringLiteral("CONNECT"));
    parser.addOptions({ sizesOption, runsOption, fixOption, memoryChildOption });
    parser.process(application);

    if (parser.isSet(memoryChildOption))
        return memoryChild(parser.value(memoryChildOption));

    const int runs = std::max(1, parser.value(runsOption).toInt());
    const QTemporaryDir folder;
    QTextStream out(stdout);

    out << "Primary-key list (median of " << runs << " runs)\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11\n")
               .arg(QStringLiteral("rows"), 8)
               .arg(QStringLiteral("load ms"), 10)
               .arg(QStringLiteral("shown ms"), 10)
               .arg(QStringLiteral("shown/load"), 10)
               .arg(QStringLiteral("tsql ms"), 10)
               .arg(QStringLiteral("odbc ms"), 10)
               .arg(QStringLiteral("ratio"), 7)
               .arg(QStringLiteral("selall ms"), 10)
               .arg(QStringLiteral("tick ms"), 9)
               .arg(QStringLiteral("peak MB"), 9)
               .arg(QStringLiteral("details ms"), 11);
    out.flush();
    for (const QString& size : parser.value(sizesOption).split(QLatin1Char(','))) {
        const int rows = size.toInt();
        const int companies = std::max(1, rows / 2000);
        const QString fixture = generateFixture(folder, companies, rows / companies, 10);
        const ListFigures figures = measureList(fixture, rows, runs, QCoreApplication::applicationFilePath(), folder);
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9 %10 %11\n")
                   .arg(figures.rows, 8)
                   .arg(figures.loadMs, 10, 'f', 1)
                   .arg(figures.shownMs, 10, 'f', 1)
                   .arg(figures.shownMs / figures.loadMs, 10, 'f', 3)
                   .arg(figures.tsqlMs, 10, 'f', 1)
                   .arg(figures.odbcMs, 10, 'f', 1)
                   .arg(figures.loadMs / figures.tsqlMs, 7, 'f', 2)
                   .arg(figures.selectAllMs, 10, 'f', 2)
                   .arg(figures.recountMs, 9, 'f', 3)
                   .arg(static_cast<double>(figures.peakKb) / 1024.0, 9, 'f', 1)
                   .arg(figures.detailsMs, 11, 'f', 1);
        out.flush();
    }

    const int fixTables = parser.value(fixOption).toInt();
    out << "\nFix run over " << fixTables << " tables (median of " << runs << " runs)\n";
    out.flush();
    const FixFigures fix = measureFixRun(generateFixture(folder, 1, fixTables, 0), fixTables, runs, folder);
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(QStringLiteral("tables"), 8)
               .arg(QStringLiteral("run ms"), 10)
               .arg(QStringLiteral("tsql ms"), 10)
               .arg(QStringLiteral("odbc ms"), 10)
               .arg(QStringLiteral("ratio"), 7);
    out << QStringLiteral("%1 %2 %3 %4 %5\n")
               .arg(fix.tables, 8)
               .arg(fix.runMs, 10, 'f', 1)
               .arg(fix.tsqlMs, 10, 'f', 1)
               .arg(fix.odbcMs, 10, 'f', 1)
               .arg(fix.runMs / fix.tsqlMs, 7, 'f', 2);
    return 0;
}
