#include "db/ErrorNumbers.h"
#include "rebuild/ClusteredIndexRebuild.h"
#include "support/ActivityLog.h"
#include "support/ApplicationFolder.h"
#include "support/Clock.h"
#include "support/ErrorReport.h"
#include "support/FakeConnection.h"
#include "support/FileHelpers.h"
#include "support/Guard.h"
#include "support/HostProcess.h"
#include "support/RecordingMessageSink.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <memory>
#include <optional>
#include <stdexcept>
#ifdef Q_OS_WIN
// clang-format off
#include <windows.h>
#include <aclapi.h>
// clang-format on
#endif

using namespace quorvane;

namespace {

// Lets everyone create files in the folder, as a folder below C:\ lets every signed-in user.
bool letEveryoneWrite(const QString& folder)
{
#ifdef Q_OS_WIN
    const std::wstring path = QDir::toNativeSeparators(folder).toStdWString();
    PACL current = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &current,
                              nullptr, &descriptor)
        != ERROR_SUCCESS)
        return false;
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof everyone;
    CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size);
    EXPLICIT_ACCESSW access {};
    access.grfAccessPermissions = FILE_ADD_FILE;
    access.grfAccessMode = GRANT_ACCESS;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(everyone);
    PACL widened = nullptr;
    const bool set = SetEntriesInAclW(1, &access, current, &widened) == ERROR_SUCCESS
        && SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, widened, nullptr)
            == ERROR_SUCCESS;
    LocalFree(widened);
    LocalFree(descriptor);
    return set;
#else
    return QFile::setPermissions(folder, QFileDevice::Permissions(0x7777));
#endif
}

const QString kReportBox = QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details.");
const QString kSaveFailed = "An error occurred while attempting to save a file.\r\nNumber: %1\r\nDescription: %2";

// A recorded event in short: "QUERY", "DROP" or "ADD" for the statements, others as they are.
QString kindOf(const QString& event)
{
    if (!event.startsWith(QLatin1String("EXEC ")))
        return event;
    for (const auto& [start, kind] :
         { std::pair { "EXEC SELECT isKCU.", "COLUMNS" }, std::pair { "EXEC SELECT FILEGROUP_NAME", "FILEGROUP" },
           std::pair { "EXEC SELECT DISTINCT s.", "HOLDERS" },
           std::pair { "EXEC SELECT DISTINCT p.", "HOLDERS 2000" } })
        if (event.startsWith(QLatin1String(start)))
            return QLatin1String(kind);
    return event.contains(" DROP ") ? "DROP" : "ADD";
}

} // namespace

// The error log and its message boxes, the activity log's lines and file writes, the folders they go
// in, and what one rebuild writes to them and shows.
class tst_ErrorReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_folder.emplace().isValid()); }
    void eachRecordIsWrittenBeforeItsBox_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("ErrorLog.txt in the folder") << true;
        QTest::newRow("a folder below a regular file") << false;
    }

    void eachRecordIsWrittenBeforeItsBox()
    {
        QFETCH(bool, writable);
        const QString folder = writable ? m_folder->path() : pathBelowRegularFile();
        const QString path = QDir(folder).filePath(QStringLiteral("ErrorLog.txt"));
        test::RecordingMessageSink messages;
        QByteArrayList logWhenShown;
        messages.whileShown = [&](const QString&) { logWhenShown.append(test::fileBytes(path)); };
        const ErrorReport report(messages, folder);

        report.RaiseError(QStringLiteral("PerformFix"), 91, QStringLiteral("Object variable not set"));
        report.RaiseError(QStringLiteral("CreateClusteredIndex"), static_cast<qint32>(0x80004005u),
                          QStringLiteral("[Müller$Ключ 日付] é\r\nNot dropped.\nEnd"));
        // A routine's body that throws anything at all is reported as the routine's failure.
        QVERIFY(!guarded(report, "lvTables_ItemClick", [] { throw std::length_error("vector too long"); }));

        if (!writable) {
            const QString notSaved = kSaveFailed.arg(76).arg("Path not found");
            QCOMPARE(messages.texts,
                     (QStringList { notSaved, kReportBox, notSaved, kReportBox, notSaved, kReportBox }));
            return;
        }
        // A description goes in as it is, in the system's 8-bit code page: UTF-8 on Linux, the ANSI
        // code page on Windows, where a character the code page lacks becomes "?".
#ifdef Q_OS_WIN
        if (GetACP() != 1252)
            QSKIP("the bytes below are those of code page 1252 (Western European), the ANSI code page of Wine "
                  "and of Western Windows installations; this system has another one");
        const QByteArray description = "[M\xFCller$???? ??] \xE9";
#else
        const QByteArray description = "[Müller$Ключ 日付] é";
#endif
        const QByteArray first = "Source: PerformFix\r\nNumber: 91\r\nDescription: Object variable not set\r\n";
        const QByteArray second = first + "Source: CreateClusteredIndex\r\nNumber: -2147467259\r\nDescription: "
            + description + "\r\nNot dropped.\nEnd\r\n";
        QCOMPARE(messages.texts, QStringList(3, kReportBox));
        QCOMPARE(
            logWhenShown,
            (QByteArrayList {
                first, second,
                second + "Source: lvTables_ItemClick\r\nNumber: -2147418113\r\nDescription: vector too long\r\n" }));
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList { QFileInfo(path).fileName() });
    }

    void appendtoFileTellsOnlyRealFailures()
    {
        test::RecordingMessageSink messages;
        AppendtoFile(messages, QString(), QStringLiteral("line")); // an empty path does nothing
        QCOMPARE(messages.texts, QStringList());

        if (!QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("needs /dev/full, a device that is always full");
        AppendtoFile(messages, QStringLiteral("/dev/full"), QStringLiteral("line"));
        QCOMPARE(messages.texts, QStringList { kSaveFailed.arg(61).arg("Disk full") });

        // A new log is the user's alone; a link planted in a log's place is not followed.
        const QString log = m_folder->filePath(QStringLiteral("ErrorLog.txt"));
        const QString victim = m_folder->filePath(QStringLiteral("victim.txt"));
        QVERIFY(AppendtoFile(messages, log, QStringLiteral("line")));
        QCOMPARE(QFile::permissions(log) & 0x0077, QFileDevice::Permissions());
        QVERIFY(QFile::rename(log, victim) && QFile::link(victim, log));
        QVERIFY(!AppendtoFile(messages, log, QStringLiteral("planted")));
        QCOMPARE(messages.texts.size(), 2);
        QCOMPARE(test::fileBytes(victim), QByteArray("line\r\n"));
    }

    // The texts of the small helpers: the folder with its separator, the activity log's line and the
    // on-screen log's text.
    void texts_data()
    {
        QTest::addColumn<QString>("made");
        QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
        QTest::newRow("folder with separator") << AddBackslash("C:\\") << "C:\\";
        QTest::newRow("slash is no separator here") << AddBackslash("C:\\Quorvane/") << "C:\\Quorvane/\\";
#else
        QTest::newRow("folder with separator") << AddBackslash("/") << "/";
        QTest::newRow("backslash is no separator here") << AddBackslash("/opt/quorvane\\") << "/opt/quorvane\\/";
#endif
        // The activity log's stamp: the user's short date, the time with its seconds, then the marker.
        const auto stamped = [](const char* locale) {
            return activityLogLine(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)), "- DROP: ", "S", QLocale(locale));
        };
        QTest::newRow("en_US") << stamped("en_US") << "3/5/24 2:07:09 PM- DROP: S";
        QTest::newRow("ko_KR, AM/PM before the time") << stamped("ko_KR") << "24. 3. 5. 오후 2:07:09- DROP: S";
        QTest::newRow("bg_BG, text after the time") << stamped("bg_BG") << "5.03.24 г. 14:07:09 ч.- DROP: S";
        const QString line = QStringLiteral("CRONUS$Item\tCRONUS$Item$0");
        QTest::newRow("4000 characters are kept")
            << textWithAppendedLine(QString(4000, 'x'), line) << QString(4000, 'x') + line + "\r\n";
        QTest::newRow("4001 characters are cleared first")
            << textWithAppendedLine(QString(4001, 'x'), line) << line + "\r\n";
    }

    void texts()
    {
        QFETCH(QString, made);
        QTEST(made, "expected");
    }

    void applicationFolderFallsBackToUserFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("writable folder") << "writable";
        QTest::newRow("folder below a regular file") << "below file";
        QTest::newRow("folder without write permission") << "read-only";
        QTest::newRow("installed (under Program Files, or /usr)") << "installed";
        QTest::newRow("folder others may write to") << "shared";
    }

    void applicationFolderFallsBackToUserFolder()
    {
        QFETCH(QString, kind);
        const QString userFolder = m_folder->filePath(QStringLiteral("user/Quorvane"));
        QString executableFolder = m_folder->filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(executableFolder));
        const auto writableAgain = qScopeGuard([bin = executableFolder] {
            QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        std::unique_ptr<QTemporaryDir> installed;
        if (kind == "below file") {
            executableFolder = pathBelowRegularFile();
        } else if (kind == "read-only") {
            QVERIFY(QFile::setPermissions(executableFolder, QFile::ReadOwner | QFile::ExeOwner));
            if (QTemporaryFile(executableFolder + QStringLiteral("/probe")).open())
                QSKIP("this user may create files in a folder without write permission (root, or Windows, where "
                      "the read-only attribute does not protect a folder)");
        } else if (kind == "shared") {
            QVERIFY(letEveryoneWrite(executableFolder));
        } else if (kind == "installed") {
#ifdef Q_OS_WIN
            installed = std::make_unique<QTemporaryDir>(qEnvironmentVariable("ProgramFiles")
                                                        + QStringLiteral("/Quorvane-test-XXXXXX"));
            QVERIFY2(installed->isValid(), "the test creates a folder below Program Files, which needs the right to");
            executableFolder = installed->path();
#else
            executableFolder = QStringLiteral("/usr/bin");
#endif
        }

        const QString folder = resolveApplicationFolder(executableFolder, userFolder);

        QCOMPARE(folder, QDir::toNativeSeparators(kind == "writable" ? executableFolder : userFolder));
        QVERIFY(QFileInfo(folder).isDir());
        // Finding out whether the folder takes files leaves nothing behind.
        if (kind == "writable")
            QVERIFY(
                QDir(executableFolder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System));
    }

    void perUserDataFolderIsTheLocalOne()
    {
        QStandardPaths::setTestModeEnabled(true);
        const auto restore = qScopeGuard([] { QStandardPaths::setTestModeEnabled(false); });
        const QString folder = perUserDataFolder();
#ifdef Q_OS_WIN
        // %LOCALAPPDATA%, not the roaming %APPDATA%: log files stay on the machine they are about.
        const QString local = qEnvironmentVariable("LOCALAPPDATA");
        QVERIFY(!local.isEmpty());
        QVERIFY2(folder.startsWith(local + QLatin1Char('\\'), Qt::CaseInsensitive), qPrintable(folder));
        QVERIFY2(!folder.contains(QLatin1Char('/')), qPrintable(folder));
#else
        // The same folder as ever: ~/.local/share/<application name>.
        QCOMPARE(folder, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
#endif
        QVERIFY(folder.endsWith(QCoreApplication::applicationName()));
        QVERIFY(QFileInfo(folder).isDir());
    }

    // One rebuild over an in-process database: the time-out lifted for the statements, the
    // transaction around them, the activity log line before each, the messages held back while the
    // transaction is open, and what a failure at each step leaves behind.
    void failureAtEachStep_data()
    {
        // The steps that fail: a statement, "rows" (the move past the first key column), "log" (writing
        // the activity log file), "cancel" (the user cancels during the DROP), "twice" (the key names a
        // column twice). A rebuild that goes through, or finds no key columns: tst_rebuild_e2e.
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<int>("number"); // of the failure reported; 0: none
        QTest::addColumn<RebuildOutcome::Kind>("outcome");
        // What happened, in order; BOX is a message shown to the user.
        QTest::addColumn<QString>("events");
        // The boxes wait until the transaction has ended, so the table is not locked meanwhile.
        const auto row
            = [](const char* name, const QStringList& failing, int number, RebuildOutcome::Kind outcome,
                 const char* events) { QTest::newRow(name) << failing << number << outcome << QString(events); };
        using enum RebuildOutcome::Kind;
        row("activity log not writable", { "log" }, 0, Rebuilt,
            "COLUMNS, FILEGROUP, TIMEOUT 0, BEGIN, DROP, ADD, COMMIT, BOX, BOX");
        row("activity log not writable, ADD refused", { "log", "ADD" }, 1902, Failed,
            "COLUMNS, FILEGROUP, TIMEOUT 0, BEGIN, DROP, ADD, ROLLBACK, BOX, BOX, BOX");
        row("key-column query", { "COLUMNS" }, int(db::kErrorNoTable), Failed, "COLUMNS, BOX");
        row("reading the key columns", { "rows" }, int(db::kErrorFail), Failed, "COLUMNS, BOX");
        row("DROP refused by a foreign key", { "DROP" }, 3725, Failed,
            "COLUMNS, FILEGROUP, TIMEOUT 0, BEGIN, DROP, ROLLBACK, BOX");
        // Busy: rolled back first, then the holders asked for, and one report naming them.
        row("deadlock at the ADD, on SQL Server 2000", { "ADD", "HOLDERS" }, 1205, Busy,
            "COLUMNS, FILEGROUP, TIMEOUT 0, BEGIN, DROP, ADD, ROLLBACK, HOLDERS, HOLDERS 2000, BOX");
        row("cancelled during the DROP", { "cancel" }, 0, Cancelled,
            "COLUMNS, FILEGROUP, TIMEOUT 0, BEGIN, DROP, ROLLBACK");
        row("a column named twice", { "twice" }, 0, Skipped, "COLUMNS, TIMEOUT 0");
    }

    void failureAtEachStep()
    {
        QFETCH(QStringList, failing);
        QFETCH(int, number);
        QFETCH(RebuildOutcome::Kind, outcome);
        QFETCH(QString, events);
        bool cancelled = false;
        const QString logFile
            = failing.contains("log") ? pathBelowRegularFile() : m_folder->filePath("QuorvaneLog.txt");
        test::FakeDatabase database;
        QStringList unlogged; // statements whose log line was not on file when they went out
        database.respond = [&](const QString& sql) {
            const QString kind = kindOf(QStringLiteral("EXEC ") + sql);
            test::FakeResult result { { { "No_" }, { failing.contains("twice") ? "NO_" : "Name" } },
                                      std::nullopt,
                                      failing.contains("rows") ? 1 : 0 };
            if (kind == "FILEGROUP")
                result.rows = { { "PRIMARY" } };
            if (kind == "HOLDERS" || kind == "HOLDERS 2000")
                result.rows = { { "57", "NAVCLIENT12   ", "CRONUS\\anna", "Navision" }, { "60", "", "sa", "" } };
            if ((kind == "DROP" || kind == "ADD") && !test::fileBytes(logFile).endsWith((sql + "\r\n").toUtf8()))
                unlogged.append(kind);
            cancelled = cancelled || (kind == "DROP" && failing.contains("cancel"));
            if (failing.contains(kind) || (kind == "COLUMNS" && failing.contains("rows")))
                result.failure = Failure(kind == "HOLDERS" ? int(db::kErrorNoTable) : number,
                                         QStringLiteral("Refused.\nSee previous errors."));
            return result;
        };
        test::RecordingMessageSink messages;
        messages.whileShown = [&](const QString&) { database.events.append(QStringLiteral("BOX")); };
        const ErrorReport report(messages, m_folder->path());
        const std::unique_ptr<db::Connection> connection = database.factory()();
        connection->Open(QStringLiteral("Provider=sqloledb"));
        database.events.clear();

        const RebuildOutcome result = CreateClusteredIndex(
            { *connection, [] { return true; }, logFile, SystemClock(), report, [&] { return cancelled; } },
            QStringLiteral("CRONUS$Customer"), QStringLiteral("CRONUS$Customer$0"));
        QCOMPARE(result.kind, outcome);
        QCOMPARE(result.failure ? result.failure->number() : 0, number);
        const QString holders
            = QStringLiteral("in use by session 57 (NAVCLIENT12, CRONUS\\anna, Navision); session 60 (sa)");
        if (outcome == RebuildOutcome::Busy)
            QCOMPARE(result.detail, holders);
        if (outcome == RebuildOutcome::Skipped)
            QCOMPARE(result.detail, QStringLiteral("the key names the column [NO_] twice"));

        QStringList kinds;
        for (const QString& event : database.events)
            kinds.append(kindOf(event));
        QCOMPARE(kinds.join(QLatin1String(", ")), events);
        // A line that cannot be written is reported on its own, and the rebuild goes on.
        QCOMPARE(unlogged, (failing.contains("log") ? QStringList { "DROP", "ADD" } : QStringList()));
        QCOMPARE(messages.texts.filter("An error occurred while attempting to save a file.").size(), unlogged.size());
        const QString record
            = QStringLiteral("Source: CreateClusteredIndex\r\nNumber: %1\r\nDescription: Refused.\n"
                             "See previous errors.%2\r\n")
                  .arg(number)
                  .arg(outcome == RebuildOutcome::Busy
                           ? QStringLiteral(" The table was busy and was not changed: %1.").arg(holders)
                           : QString());
        QCOMPARE(test::fileBytes(m_folder->filePath(QStringLiteral("ErrorLog.txt"))),
                 number == 0 ? QByteArray() : record.toUtf8());
    }

private:
    // A path below a regular file: it cannot be created or written by anyone, root included (the
    // tests may run as root, who may write to folders without write permission).
    QString pathBelowRegularFile() const
    {
        QFile file(m_folder->filePath(QStringLiteral("regular-file")));
        return file.open(QIODevice::WriteOnly) ? file.fileName() + QStringLiteral("/Quorvane") : QString();
    }

    std::optional<QTemporaryDir> m_folder;
};

QTEST_GUILESS_MAIN(tst_ErrorReport)
#include "tst_errorreport.moc"
