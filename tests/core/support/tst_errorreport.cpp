#include "support/ApplicationFolder.h"
#include "support/ErrorReport.h"
#include "support/FileHelpers.h"
#include "support/Guard.h"
#include "support/RecordingMessageSink.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <memory>
#include <stdexcept>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

using namespace quorvane;

namespace {

const QString kReportBox = QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details.");
const QString kSaveFailed = QStringLiteral("An error occurred while attempting to save a file.\r\nNumber: %1\r\n"
                                           "Description: %2");

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Records each message together with what the error log held when it was shown.
class SnapshottingMessageSink final : public MessageSink
{
public:
    explicit SnapshottingMessageSink(QString errorLogPath)
        : m_errorLogPath(std::move(errorLogPath))
    { }
    void showMessage(const QString& text) override
    {
        texts.append(text);
        logWhenShown.append(contentsOf(m_errorLogPath));
    }
    QStringList texts;
    QByteArrayList logWhenShown;

private:
    QString m_errorLogPath;
};

} // namespace

class tst_ErrorReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void eachRecordIsWrittenBeforeItsBox();
    void unwritableFolderShowsBothBoxesAndKeepsNoRecord();
    void namedErrorLogTakesTheSameRecords();
    void appendtoFileTellsOnlyRealFailures();
    void addBackslash_data();
    void addBackslash();
    void applicationFolderFallsBackToUserFolder_data();
    void applicationFolderFallsBackToUserFolder();
    void perUserDataFolderIsTheLocalOne();
    void guardReportsAnyExceptionOnce();

private:
    QString errorLogPath() const { return m_folder->filePath(QStringLiteral("ErrorLog.txt")); }
    // A path below a regular file: it cannot be created or written by anyone, root included (the
    // tests may run as root, who may write to folders without write permission).
    QString pathBelowRegularFile() const
    {
        QFile file(m_folder->filePath(QStringLiteral("regular-file")));
        return file.open(QIODevice::WriteOnly) ? file.fileName() + QStringLiteral("/Quorvane") : QString();
    }

    std::unique_ptr<QTemporaryDir> m_folder;
};

void tst_ErrorReport::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

void tst_ErrorReport::eachRecordIsWrittenBeforeItsBox()
{
    SnapshottingMessageSink messages(errorLogPath());
    const ErrorReport report(messages, m_folder->path());

    report.RaiseError(QStringLiteral("PerformFix"), 91, QStringLiteral("Object variable not set"));
    report.RaiseError(QStringLiteral("AddtoTXTBox"), 7, QStringLiteral("Out of memory"));
    report.RaiseError(QStringLiteral("CreateClusteredIndex"), static_cast<qint32>(0x80004005u),
                      QStringLiteral("[Müller$Ключ 日付] é\r\nNot dropped.\nEnd"));

    // Two reports leave six lines; a description goes in as it is, in the system's 8-bit code page:
    // UTF-8 on Linux, the ANSI code page on Windows, where a character the code page lacks
    // becomes "?".
#ifdef Q_OS_WIN
    if (GetACP() != 1252)
        QSKIP("the bytes below are those of code page 1252 (Western European), the ANSI code page of Wine "
              "and of Western Windows installations; this system has another one");
    const QByteArray description = "[M\xFCller$???? ??] \xE9";
#else
    const QByteArray description = "[Müller$Ключ 日付] é";
#endif
    const QByteArray first = "Source: PerformFix\r\nNumber: 91\r\nDescription: Object variable not set\r\n";
    const QByteArray second = first + "Source: AddtoTXTBox\r\nNumber: 7\r\nDescription: Out of memory\r\n";
    const QByteArray third = second + "Source: CreateClusteredIndex\r\nNumber: -2147467259\r\nDescription: "
        + description + "\r\nNot dropped.\nEnd\r\n";
    QCOMPARE(messages.texts, QStringList(3, kReportBox));
    QCOMPARE(messages.logWhenShown, (QByteArrayList { first, second, third }));
}

void tst_ErrorReport::unwritableFolderShowsBothBoxesAndKeepsNoRecord()
{
    const QString folder = pathBelowRegularFile();
    test::RecordingMessageSink messages;

    ErrorReport(messages, folder).RaiseError(QStringLiteral("PerformFix"), 5, QStringLiteral("Invalid call"));

    QCOMPARE(messages.texts, (QStringList { kSaveFailed.arg(76).arg("Path not found"), kReportBox }));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/ErrorLog.txt")));
}

void tst_ErrorReport::namedErrorLogTakesTheSameRecords()
{
    const QString named = m_folder->filePath(QStringLiteral("nightly-errors.log"));
    SnapshottingMessageSink messages(named);
    const ErrorReport report = ErrorReport::toFile(messages, named);

    report.RaiseError(QStringLiteral("CreateClusteredIndex"), 1902, QStringLiteral("Cannot create"));

    QCOMPARE(messages.logWhenShown,
             QByteArrayList { "Source: CreateClusteredIndex\r\nNumber: 1902\r\nDescription: Cannot create\r\n" });
    QCOMPARE(messages.texts, QStringList { kReportBox });
    QVERIFY(!QFile::exists(errorLogPath()));
}

void tst_ErrorReport::appendtoFileTellsOnlyRealFailures()
{
    const auto restore = qScopeGuard([start = QDir::currentPath()] { QDir::setCurrent(start); });
    QVERIFY(QDir::setCurrent(m_folder->path()));
    test::RecordingMessageSink messages;
    AppendtoFile(messages, QString(), QStringLiteral("line")); // an empty path does nothing
    QVERIFY(QDir(m_folder->path()).isEmpty());

    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("needs /dev/full, a device that is always full");
    AppendtoFile(messages, QStringLiteral("/dev/full"), QStringLiteral("line"));
    QCOMPARE(messages.texts, QStringList { kSaveFailed.arg(61).arg("Disk full") }); // and none for the empty path

    // A new log is the user's alone; a link planted in a log's place is not followed.
    AppendtoFile(messages, errorLogPath(), QStringLiteral("line"));
    QCOMPARE(QFile::permissions(errorLogPath()) & 0x0077, QFileDevice::Permissions());
    const QString victim = m_folder->filePath(QStringLiteral("victim.txt"));
    QVERIFY(QFile::rename(errorLogPath(), victim));
    QVERIFY(QFile::link(victim, errorLogPath()));
    AppendtoFile(messages, errorLogPath(), QStringLiteral("planted"));
    QCOMPARE(messages.texts.size(), 2);
    QFile planted(victim);
    QVERIFY(planted.open(QIODevice::ReadOnly));
    QCOMPARE(planted.readAll(), QByteArray("line\r\n"));
}

void tst_ErrorReport::addBackslash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
#ifdef Q_OS_WIN
    QTest::newRow("folder") << QString("C:\\Quorvane") << "C:\\Quorvane\\";
    QTest::newRow("folder with separator") << QString("C:\\Quorvane\\") << "C:\\Quorvane\\";
    QTest::newRow("root of a drive") << QString("C:\\") << "C:\\";
    QTest::newRow("empty") << QString() << "\\";
    QTest::newRow("slash is no separator here") << QString("C:\\Quorvane/") << "C:\\Quorvane/\\";
#else
    QTest::newRow("folder") << QString("/opt/quorvane") << "/opt/quorvane/";
    QTest::newRow("folder with separator") << QString("/opt/quorvane/") << "/opt/quorvane/";
    QTest::newRow("root") << QString("/") << "/";
    QTest::newRow("empty") << QString() << "/";
    QTest::newRow("backslash is no separator here") << QString("/opt/quorvane\\") << "/opt/quorvane\\/";
#endif
}

void tst_ErrorReport::addBackslash()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(AddBackslash(path), expected);
}

void tst_ErrorReport::applicationFolderFallsBackToUserFolder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("writable folder") << "writable";
    QTest::newRow("folder below a regular file") << "below file";
    QTest::newRow("folder without write permission") << "read-only";
#ifdef Q_OS_WIN
    QTest::newRow("installed under Program Files") << "installed";
#else
    QTest::newRow("installed under /usr") << "installed";
    QTest::newRow("folder others may write to") << "shared";
#endif
}

void tst_ErrorReport::applicationFolderFallsBackToUserFolder()
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
        QVERIFY(QFile::setPermissions(executableFolder, QFileDevice::Permissions(0x7777)));
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
        QVERIFY(QDir(executableFolder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System));
}

void tst_ErrorReport::perUserDataFolderIsTheLocalOne()
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

void tst_ErrorReport::guardReportsAnyExceptionOnce()
{
    test::RecordingMessageSink messages;

    const bool finished = guarded(ErrorReport(messages, m_folder->path()), "lvTables_ItemClick",
                                  [] { throw std::length_error("vector too long"); });

    QVERIFY(!finished);
    QCOMPARE(contentsOf(errorLogPath()),
             QByteArray("Source: lvTables_ItemClick\r\nNumber: -2147418113\r\nDescription: vector too long\r\n"));
    QCOMPARE(messages.texts, QStringList { kReportBox });
}

QTEST_GUILESS_MAIN(tst_ErrorReport)
#include "tst_errorreport.moc"
