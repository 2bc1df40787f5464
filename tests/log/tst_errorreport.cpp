#include "db/ErrorNumbers.h"
#include "log/ApplicationFolder.h"
#include "log/ErrorReport.h"
#include "log/FileHelpers.h"
#include "log/Guard.h"
#include "support/RecordingMessageSink.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

using namespace quorvane;

namespace {

const QString kReportBox = QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details.");

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
    QList<QByteArray> logWhenShown;

private:
    QString m_errorLogPath;
};

} // namespace

class tst_ErrorReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void recordIsWrittenBeforeTheBox_data();
    void recordIsWrittenBeforeTheBox();
    void twoReportsLeaveSixLines();
    void unwritableFolderShowsBothBoxesAndKeepsNoRecord_data();
    void unwritableFolderShowsBothBoxesAndKeepsNoRecord();
    void appendCreatesThenExtendsFile();
    void appendWritesSystemCodePage();
    void appendToFullDiskTellsUser();
    void appendWithEmptyPathDoesNothing();
    void addBackslash_data();
    void addBackslash();
    void applicationFolderFallsBackToUserFolder_data();
    void applicationFolderFallsBackToUserFolder();
    void guardReportsOnceWithSource_data();
    void guardReportsOnceWithSource();

private:
    QString errorLogPath() const { return m_folder->filePath(QStringLiteral("ErrorLog.txt")); }
    // A path below a regular file: it cannot be created or written by anyone, root included (the
    // tests may run as root, who may write to folders without write permission).
    QString pathBelowRegularFile() const;

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_startFolder;
};

void tst_ErrorReport::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_startFolder = QDir::currentPath();
}

void tst_ErrorReport::cleanup()
{
    QDir::setCurrent(m_startFolder);
}

QString tst_ErrorReport::pathBelowRegularFile() const
{
    QFile file(m_folder->filePath(QStringLiteral("regular-file")));
    if (file.open(QIODevice::WriteOnly))
        file.close();
    return file.fileName() + QStringLiteral("/Quorvane");
}

void tst_ErrorReport::recordIsWrittenBeforeTheBox_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("negative number")
        << "CreateClusteredIndex" << int(db::kErrorFail) << "Communication link failure"
        << QByteArray(
               "Source: CreateClusteredIndex\r\nNumber: -2147467259\r\nDescription: Communication link failure\r\n");
    QTest::newRow("line breaks in the description")
        << "frmLogin::cmdConnect_Click" << 3725
        << "The constraint is being referenced.\r\nCould not drop constraint.\nEnd"
        << QByteArray("Source: frmLogin::cmdConnect_Click\r\nNumber: 3725\r\nDescription: The constraint is being "
                      "referenced.\r\nCould not drop constraint.\nEnd\r\n");
}

void tst_ErrorReport::recordIsWrittenBeforeTheBox()
{
    QFETCH(QString, source);
    QFETCH(int, number);
    QFETCH(QString, description);
    QFETCH(QByteArray, record);
    SnapshottingMessageSink messages(errorLogPath());

    ErrorReport(messages, m_folder->path()).RaiseError(source, number, description);

    QCOMPARE(messages.texts, QStringList { kReportBox });
    QCOMPARE(messages.logWhenShown, QList<QByteArray> { record });
    QCOMPARE(contentsOf(errorLogPath()), record);
}

void tst_ErrorReport::twoReportsLeaveSixLines()
{
    test::RecordingMessageSink messages;
    const ErrorReport report(messages, m_folder->path());

    report.RaiseError(QStringLiteral("PerformFix"), 91, QStringLiteral("Object variable not set"));
    report.RaiseError(QStringLiteral("AddtoTXTBox"), 7, QStringLiteral("Out of memory"));

    QCOMPARE(contentsOf(errorLogPath()),
             QByteArray("Source: PerformFix\r\nNumber: 91\r\nDescription: Object variable not set\r\n"
                        "Source: AddtoTXTBox\r\nNumber: 7\r\nDescription: Out of memory\r\n"));
    QCOMPARE(messages.texts, (QStringList { kReportBox, kReportBox }));
}

void tst_ErrorReport::unwritableFolderShowsBothBoxesAndKeepsNoRecord_data()
{
    QTest::addColumn<bool>("belowRegularFile");
    QTest::newRow("folder below a regular file") << true;
    QTest::newRow("folder does not exist") << false;
}

void tst_ErrorReport::unwritableFolderShowsBothBoxesAndKeepsNoRecord()
{
    QFETCH(bool, belowRegularFile);
    const QString folder = belowRegularFile ? pathBelowRegularFile() : m_folder->filePath(QStringLiteral("gone/away"));
    test::RecordingMessageSink messages;

    ErrorReport(messages, folder).RaiseError(QStringLiteral("PerformFix"), 5, QStringLiteral("Invalid call"));

    QCOMPARE(messages.texts,
             (QStringList {
                 "An error occurred while attempting to save a file.\r\nNumber: 76\r\nDescription: Path not found",
                 kReportBox }));
    QVERIFY(!QFile::exists(folder + QStringLiteral("/ErrorLog.txt")));
}

void tst_ErrorReport::appendCreatesThenExtendsFile()
{
    test::RecordingMessageSink messages;
    const QString path = m_folder->filePath(QStringLiteral("QuorvaneLog.txt"));

    AppendtoFile(messages, path, QStringLiteral("same text"));
    AppendtoFile(messages, path, QStringLiteral("same text"));

    QCOMPARE(contentsOf(path), QByteArray("same text\r\nsame text\r\n"));
    QCOMPARE(messages.texts, QStringList());
}

void tst_ErrorReport::appendWritesSystemCodePage()
{
#ifdef Q_OS_WIN
    QSKIP("the system code page is an 8-bit Windows code page here");
#endif
    // On Linux and macOS the system's 8-bit encoding is UTF-8.
    test::RecordingMessageSink messages;
    const QString path = m_folder->filePath(QStringLiteral("QuorvaneLog.txt"));
    const QString text = QStringLiteral("ALTER TABLE dbo.[Müller GmbH$Kunde] DROP CONSTRAINT [Ключ$0 日付]");

    AppendtoFile(messages, path, text);

    QCOMPARE(contentsOf(path), text.toUtf8() + "\r\n");
}

void tst_ErrorReport::appendToFullDiskTellsUser()
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        QSKIP("needs /dev/full, a device that is always full");
    test::RecordingMessageSink messages;

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("seek.*sequential")));
    AppendtoFile(messages, QStringLiteral("/dev/full"), QStringLiteral("line"));

    QCOMPARE(
        messages.texts,
        QStringList { "An error occurred while attempting to save a file.\r\nNumber: 61\r\nDescription: Disk full" });
}

void tst_ErrorReport::appendWithEmptyPathDoesNothing()
{
    QVERIFY(QDir::setCurrent(m_folder->path()));
    test::RecordingMessageSink messages;

    AppendtoFile(messages, QString(), QStringLiteral("line"));

    QCOMPARE(messages.texts, QStringList());
    QVERIFY(QDir(m_folder->path()).isEmpty());
}

void tst_ErrorReport::addBackslash_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");

    QTest::newRow("folder") << "/opt/quorvane"
                            << "/opt/quorvane/";
    QTest::newRow("folder with separator") << "/opt/quorvane/"
                                           << "/opt/quorvane/";
    QTest::newRow("root") << "/"
                          << "/";
    QTest::newRow("empty") << ""
                           << "/";
#ifndef Q_OS_WIN
    QTest::newRow("backslash is no separator here") << "/opt/quorvane\\"
                                                    << "/opt/quorvane\\/";
#endif
}

void tst_ErrorReport::addBackslash()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
#ifdef Q_OS_WIN
    path.replace('/', '\\');
    expected.replace('/', '\\');
#endif
    QCOMPARE(AddBackslash(path), expected);
}

void tst_ErrorReport::applicationFolderFallsBackToUserFolder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("writable folder") << "writable";
    QTest::newRow("folder below a regular file") << "below file";
    QTest::newRow("missing folder") << "missing";
    QTest::newRow("installed under /usr") << "usr";
}

void tst_ErrorReport::applicationFolderFallsBackToUserFolder()
{
    QFETCH(QString, kind);
    const QString userFolder = m_folder->filePath(QStringLiteral("user/Quorvane"));
    const QString executableFolder = kind == "writable" ? m_folder->path()
        : kind == "below file"                          ? pathBelowRegularFile()
        : kind == "usr"                                 ? QStringLiteral("/usr/bin")
                                                        : m_folder->filePath(QStringLiteral("missing"));

    const QString folder = resolveApplicationFolder(executableFolder, userFolder);

    QCOMPARE(folder, kind == "writable" ? m_folder->path() : userFolder);
    QVERIFY(QFileInfo(folder).isDir());
}

void tst_ErrorReport::guardReportsOnceWithSource_data()
{
    QTest::addColumn<QString>("thrown");
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("Failure") << "Failure"
                             << QByteArray("Source: lvTables_ItemClick\r\nNumber: 3265\r\nDescription: Item cannot be "
                                           "found in the collection.\r\n");
    QTest::newRow("other exception") << "std::exception"
                                     << QByteArray("Source: lvTables_ItemClick\r\nNumber: -2147418113\r\n"
                                                   "Description: vector too long\r\n");
    QTest::newRow("nothing") << "" << QByteArray();
}

void tst_ErrorReport::guardReportsOnceWithSource()
{
    QFETCH(QString, thrown);
    QFETCH(QByteArray, record);
    test::RecordingMessageSink messages;
    const ErrorReport report(messages, m_folder->path());
    bool after = false;

    const bool finished = guarded(report, "lvTables_ItemClick", [&] {
        if (thrown == "Failure")
            throw Failure(3265, QStringLiteral("Item cannot be found in the collection."));
        if (thrown == "std::exception")
            throw std::length_error("vector too long");
        after = true;
    });

    QCOMPARE(finished, thrown.isEmpty());
    QCOMPARE(after, thrown.isEmpty());
    QCOMPARE(contentsOf(errorLogPath()), record);
    QCOMPARE(messages.texts.size(), thrown.isEmpty() ? 0 : 1);
}

QTEST_GUILESS_MAIN(tst_ErrorReport)
#include "tst_errorreport.moc"
