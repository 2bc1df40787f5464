#include "log/Clock.h"
#include "login/SettingsStore.h"
#include "main/LogTextBox.h"
#include "main/Platform.h"
#include "main/RunProgressBar.h"
#include "main/TableListModel.h"
#include "main/Twips.h"
#include "main/frmMain.h"
#include "support/FakeConnection.h"
#include "support/RecordingMessageSink.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

using namespace quorvane;
using quorvane::test::FakeDatabase;
using quorvane::test::FakeResult;
using quorvane::test::RecordingMessageSink;

namespace {

const QString kConnectString = QStringLiteral("Provider=sqloledb;Data Source=srv;Network Library=DBMSSOCN;Initial "
                                              "Catalog=Navision;User ID=sa;Password=secret;");
const QString kPrimaryKeyList = QStringLiteral(
    "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE "
    "CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]");
const QString kKeyQueryStart = QStringLiteral("SELECT isKCU.COLUMN_NAME ");

class NoSettings final : public SettingsStore
{
public:
    void write(const QString&, const QString&, const QString&) override { }
    QString read(const QString&, const QString&, const QString& defaultValue) const override { return defaultValue; }
};

QString keyQueryText(const QString& table, const QString& constraint)
{
    return QStringLiteral("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE "
                          "isKCU.CONSTRAINT_NAME = '%1' AND isKCU.TABLE_NAME = '%2' ORDER BY isKCU.ORDINAL_POSITION")
        .arg(constraint, table);
}

QList<QStringList> fiveKeys()
{
    return {
        { QStringLiteral("PK1"), QStringLiteral("T1"), QStringLiteral("Navision") },
        { QStringLiteral("PK2"), QStringLiteral("T2"), QStringLiteral("Navision") },
        { QStringLiteral("PK3"), QStringLiteral("T3"), QStringLiteral("Navision") },
        { QStringLiteral("PK4"), QStringLiteral("T4"), QStringLiteral("Navision") },
        { QStringLiteral("PK5"), QStringLiteral("T5"), QStringLiteral("Navision") },
    };
}

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void startupListsEveryKeyInServerOrder();
    void captionCarriesTheVersion_data();
    void captionCarriesTheVersion();
    void startupEndsSilently_data();
    void startupEndsSilently();
    void fillFailureIsReportedOnceAndRowsStay();
    void columnsShareTheListWidth();
    void selection_data();
    void selection();

    void clickListsKeyColumnsInKeyOrder();
    void nameWithApostropheStaysOneLiteral();
    void blankRowClickChangesNothing();
    void failedKeyQueryLeavesListEmpty();

    void runRebuildsTickedRowsInListOrder();
    void runWithNothingTickedShowsEmptyBar();
    void runRefusesCloseAndSecondStart();
    void addToLogKeepsLineEnds_data();
    void addToLogKeepsLineEnds();

    void windowLayout();
    void focusStartsOnSelectAllAndFollowsTabOrder();

private:
    frmMain& window() { return *m_window; }
    void startWith(const QList<QStringList>& keys);
    template <typename T> T& control(const char* name)
    {
        T* found = m_window->findChild<T*>(QLatin1String(name));
        Q_ASSERT(found != nullptr);
        return *found;
    }
    QStringList reportedSources() const;
    QStringList keyQueries() const;
    void tickWithSpaceBar(int item);
    void clickRow(int item);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<FakeDatabase> m_database;
    RecordingMessageSink m_messages;
    NoSettings m_settings;
    SystemClock m_clock;
    std::unique_ptr<Platform> m_platform;
    QString m_loginAnswer;
    std::unique_ptr<frmMain> m_window;
};

void tst_frmMain::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_database = std::make_unique<FakeDatabase>();
    m_messages.texts.clear();
    m_platform = std::make_unique<Platform>(Platform { m_messages, m_settings, m_clock, m_database->factory(),
                                                       QDir::toNativeSeparators(m_folder->path()) });
    m_loginAnswer = kConnectString;
    m_window = std::make_unique<frmMain>(*m_platform, [this](frmMain& owner, bool bolCountDown) {
        QVERIFY(bolCountDown);
        owner.gstrConnectPass = m_loginAnswer;
    });
}

void tst_frmMain::cleanup()
{
    m_window.reset();
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_frmMain::startWith(const QList<QStringList>& keys)
{
    m_database->respond = [keys](const QString& sql) {
        if (sql == kPrimaryKeyList)
            return FakeResult { keys, {}, 0 };
        return FakeResult {};
    };
    QVERIFY(window().Form_Load());
    window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window()));
}

QStringList tst_frmMain::reportedSources() const
{
    QFile log(QDir(m_folder->path()).filePath(QStringLiteral("ErrorLog.txt")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList sources;
    for (const QByteArray& line : log.readAll().split('\n'))
        if (line.startsWith("Source: "))
            sources.append(QString::fromUtf8(line.mid(8)).trimmed());
    return sources;
}

QStringList tst_frmMain::keyQueries() const
{
    return m_database->executed().filter(kKeyQueryStart);
}

void tst_frmMain::tickWithSpaceBar(int item)
{
    auto& lv = control<QTreeView>("lvTables");
    lv.setCurrentIndex(lv.model()->index(item - 1, 0));
    QTest::keyClick(&lv, Qt::Key_Space);
}

void tst_frmMain::clickRow(int item)
{
    auto& lv = control<QTreeView>("lvTables");
    const QModelIndex cell = lv.model()->index(item - 1, 1);
    QTest::mouseClick(lv.viewport(), Qt::LeftButton, {}, lv.visualRect(cell).center());
}

void tst_frmMain::startupListsEveryKeyInServerOrder()
{
    // The server's case-insensitive order puts "a$..." before "B$..."; the list must not re-sort.
    startWith({ { QStringLiteral("a$Item$0"), QStringLiteral("a$Item"), QStringLiteral("Navision") },
                { QStringLiteral("B$Customer$0"), QStringLiteral("B$Customer"), QStringLiteral("Navision") },
                { QStringLiteral("PK_Dup"), QStringLiteral("Dup"), QStringLiteral("Navision") },
                { QStringLiteral("PK_Dup"), QStringLiteral("Dup"), QStringLiteral("Navision") } });

    QCOMPARE(m_database->events.first(), QStringLiteral("OPEN ") + kConnectString);
    QCOMPARE(m_database->executed(), QStringList { kPrimaryKeyList });
    const QAbstractItemModel& rows = *control<QTreeView>("lvTables").model();
    QCOMPARE(rows.rowCount(), 4);
    QCOMPARE(rows.index(0, 0).data().toString(), QStringLiteral("a$Item$0"));
    QCOMPARE(rows.index(0, 1).data().toString(), QStringLiteral("a$Item"));
    QCOMPARE(rows.index(0, 2).data().toString(), QStringLiteral("Navision"));
    QCOMPARE(rows.index(1, 0).data().toString(), QStringLiteral("B$Customer$0"));
    QCOMPARE(rows.index(3, 1).data().toString(), QStringLiteral("Dup"));
    QCOMPARE(rows.index(3, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(control<QListWidget>("lstFields").count() == 0);
    QCOMPARE(window().strLogFile, QDir::toNativeSeparators(m_folder->path() + QStringLiteral("/QuorvaneLog.txt")));
    QCOMPARE(m_messages.texts, QStringList {});
}

void tst_frmMain::captionCarriesTheVersion_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("caption");
    QTest::newRow("1.0.0") << 1 << 0 << 0 << QStringLiteral("Clustered Index Fix Utility - v1.0.0  (TVL 2006)");
    QTest::newRow("1.0.12") << 1 << 0 << 12 << QStringLiteral("Clustered Index Fix Utility - v1.0.12  (TVL 2006)");
    QTest::newRow("10.20.300") << 10 << 20 << 300
                               << QStringLiteral("Clustered Index Fix Utility - v10.20.300  (TVL 2006)");
}

void tst_frmMain::captionCarriesTheVersion()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, caption);
    m_platform->versionMajor = major;
    m_platform->versionMinor = minor;
    m_platform->versionRevision = revision;
    QCOMPARE(window().windowTitle(), QStringLiteral("Quorvane"));
    startWith({}); // a database without primary keys still opens with its caption
    QCOMPARE(window().windowTitle(), caption);
    QCOMPARE(control<QTreeView>("lvTables").model()->rowCount(), 0);
    QCOMPARE(control<QTreeView>("lvTables").header()->count(), 3);
    QCOMPARE(m_messages.texts, QStringList {});
}

void tst_frmMain::startupEndsSilently_data()
{
    QTest::addColumn<bool>("loginAbandoned");
    QTest::newRow("login window closed without connecting") << true;
    QTest::newRow("connection cannot be opened") << false;
}

void tst_frmMain::startupEndsSilently()
{
    QFETCH(bool, loginAbandoned);
    if (loginAbandoned)
        m_loginAnswer.clear();
    else
        m_database->openFailure = Failure(static_cast<std::int32_t>(0x80004005u), QStringLiteral("Unreachable"));

    QVERIFY(!window().Form_Load());

    QVERIFY(!window().isVisible());
    QCOMPARE(m_messages.texts, QStringList {});
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::NoDotAndDotDot), QStringList {});
    QVERIFY(window().strLogFile.endsWith(QStringLiteral("QuorvaneLog.txt")));
    QCOMPARE(m_database->executed(), QStringList {});
    QCOMPARE(window().windowTitle(), QStringLiteral("Quorvane"));
}

void tst_frmMain::fillFailureIsReportedOnceAndRowsStay()
{
    // The second record lacks its catalog: that row keeps its table name only and the fill ends.
    m_database->respond = [](const QString& sql) {
        if (sql == kPrimaryKeyList)
            return FakeResult { { { QStringLiteral("PK1"), QStringLiteral("T1"), QStringLiteral("Navision") },
                                  { QStringLiteral("PK2") },
                                  { QStringLiteral("PK3"), QStringLiteral("T3"), QStringLiteral("Navision") } },
                                {},
                                0 };
        return FakeResult { { { QStringLiteral("Code") } }, {}, 0 };
    };
    QVERIFY(window().Form_Load());
    window().show();
    QVERIFY(QTest::qWaitForWindowExposed(&window()));
    QCOMPARE(reportedSources(), QStringList { QStringLiteral("LoadTablesIntoLV") });
    QCOMPARE(control<QTreeView>("lvTables").model()->rowCount(), 2);
    QCOMPARE(window().windowTitle(), QStringLiteral("Clustered Index Fix Utility - v1.0.0  (TVL 2006)"));

    // The rows read so far can be used; the short one is reported when clicked.
    clickRow(1);
    clickRow(2);
    QCOMPARE(reportedSources(),
             (QStringList { QStringLiteral("LoadTablesIntoLV"), QStringLiteral("lvTables_ItemClick") }));
    QCOMPARE(control<QListWidget>("lstFields").count(), 1);
}

void tst_frmMain::selection_data()
{
    // Steps: "t<n>" ticks or clears row n with the space bar, "a" clicks "Select All Tables",
    // "c<n>" clicks row n.
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("ticked");
    QTest::newRow("one tick") << 5 << QStringList { "t2" } << "Selected Keys: 1" << 1;
    QTest::newRow("tick and untick") << 5 << QStringList { "t2", "t2" } << "Selected Keys: 0" << 0;
    QTest::newRow("select all") << 5 << QStringList { "a" } << "Selected Keys: 5" << 5;
    QTest::newRow("select all and clear") << 5 << QStringList { "a", "a" } << "Selected Keys: 0" << 0;
    QTest::newRow("select all, untick one") << 5 << QStringList { "a", "t3" } << "Selected Keys: 4" << 4;
    QTest::newRow("click keeps design caption") << 5 << QStringList { "c1" } << "" << 0;
    QTest::newRow("select all on empty list") << 0 << QStringList { "a" } << "Selected Keys: 0" << 0;
}

void tst_frmMain::selection()
{
    QFETCH(int, rows);
    QFETCH(QStringList, steps);
    QFETCH(QString, label);
    QFETCH(int, ticked);
    startWith(fiveKeys().mid(0, rows));
    auto& chkAll = control<QCheckBox>("chkAll");
    for (const QString& step : steps) {
        if (step == QLatin1String("a"))
            QTest::mouseClick(&chkAll, Qt::LeftButton);
        else if (step.startsWith(QLatin1Char('t')))
            tickWithSpaceBar(step.mid(1).toInt());
        else
            clickRow(step.mid(1).toInt());
    }
    QCOMPARE(control<QLabel>("lblKeys").text(), label);
    const QAbstractItemModel& model = *control<QTreeView>("lvTables").model();
    int checked = 0;
    for (int row = 0; row < model.rowCount(); ++row)
        checked += model.index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked ? 1 : 0;
    QCOMPARE(checked, ticked);
    // The program never sets "Select All Tables"; it keeps the user's last click.
    QCOMPARE(chkAll.isChecked(), steps.count(QStringLiteral("a")) % 2 == 1);
    QCOMPARE(reportedSources(), QStringList {});
}

void tst_frmMain::columnsShareTheListWidth()
{
    startWith({});
    auto& lv = control<QTreeView>("lvTables");
    QCOMPARE(pixelsToTwips(lv.width()), 8535.0f);
    const float columnTwips = evenColumnWidthTwips(pixelsToTwips(lv.width()), 3);
    QCOMPARE(columnTwips, (8535.0f - 350.0f) / 3.0f);
    for (int column = 0; column < 3; ++column)
        QCOMPARE(lv.header()->sectionSize(column), 182);
    QCOMPARE(reportedSources(), QStringList {});
}

void tst_frmMain::clickListsKeyColumnsInKeyOrder()
{
    startWith(fiveKeys());
    m_database->respond = [](const QString& sql) {
        if (sql == keyQueryText(QStringLiteral("T2"), QStringLiteral("PK2")))
            return FakeResult {
                { { QStringLiteral("Document Type") }, { QStringLiteral("No_") }, { QStringLiteral("Line No_") } },
                {},
                0
            };
        if (sql == keyQueryText(QStringLiteral("T4"), QStringLiteral("PK4")))
            return FakeResult { { { QStringLiteral("Code") } }, {}, 0 };
        return FakeResult {};
    };
    auto& lst = control<QListWidget>("lstFields");

    clickRow(2);
    QCOMPARE(lst.count(), 3);
    QCOMPARE(lst.item(0)->text(), QStringLiteral("Document Type"));
    QCOMPARE(lst.item(1)->text(), QStringLiteral("No_"));
    QCOMPARE(lst.item(2)->text(), QStringLiteral("Line No_"));

    clickRow(4);
    QCOMPARE(lst.count(), 1);
    QCOMPARE(lst.item(0)->text(), QStringLiteral("Code"));
    // A click shows the columns; it does not tick.
    QCOMPARE(control<QTreeView>("lvTables").model()->index(3, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
}

void tst_frmMain::nameWithApostropheStaysOneLiteral()
{
    startWith({ { QStringLiteral("O'Neil$PK"), QStringLiteral("O'Neil"), QStringLiteral("Navision") } });
    clickRow(1);
    QCOMPARE(
        keyQueries(),
        QStringList { QStringLiteral(
            "SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE isKCU.CONSTRAINT_NAME = "
            "'O''Neil$PK' AND isKCU.TABLE_NAME = 'O''Neil' ORDER BY isKCU.ORDINAL_POSITION") });
}

void tst_frmMain::blankRowClickChangesNothing()
{
    startWith({ { QStringLiteral("PK1"), QStringLiteral("T1"), QStringLiteral("Navision") },
                { QStringLiteral("   "), QStringLiteral("T2"), QStringLiteral("Navision") } });
    m_database->respond = [](const QString&) { return FakeResult { { { QStringLiteral("Code") } }, {}, 0 }; };
    clickRow(1);
    clickRow(2);
    QCOMPARE(keyQueries().size(), 1);
    QCOMPARE(control<QListWidget>("lstFields").count(), 1);
    QCOMPARE(reportedSources(), QStringList {});
}

void tst_frmMain::failedKeyQueryLeavesListEmpty()
{
    startWith(fiveKeys());
    m_database->respond = [](const QString&) { return FakeResult { { { QStringLiteral("Code") } }, {}, 0 }; };
    clickRow(1);
    QCOMPARE(control<QListWidget>("lstFields").count(), 1);

    m_database->respond = [](const QString&) {
        return FakeResult { {}, Failure(static_cast<std::int32_t>(0x80004005u), QStringLiteral("Connection lost")), 0 };
    };
    clickRow(2);
    QCOMPARE(control<QListWidget>("lstFields").count(), 0);
    QCOMPARE(reportedSources(), QStringList { QStringLiteral("LoadKeysIntoLST") });
}

void tst_frmMain::runRebuildsTickedRowsInListOrder()
{
    startWith(fiveKeys());
    m_database->respond = [](const QString& sql) {
        return sql.startsWith(kKeyQueryStart) ? FakeResult { { { QStringLiteral("Code") } }, {}, 0 } : FakeResult {};
    };
    tickWithSpaceBar(4);
    tickWithSpaceBar(2);
    auto& bar = control<QProgressBar>("sbStatus");
    QSignalSpy progress(&bar, &QProgressBar::valueChanged);

    QTest::mouseClick(&control<QPushButton>("cmdExecute"), Qt::LeftButton);

    QCOMPARE(keyQueries(),
             (QStringList { keyQueryText(QStringLiteral("T2"), QStringLiteral("PK2")),
                            keyQueryText(QStringLiteral("T4"), QStringLiteral("PK4")) }));
    QCOMPARE(control<LogTextBox>("txtLog").text(), QStringLiteral("T2\tPK2\r\nT4\tPK4\r\n"));
    QCOMPARE(bar.maximum(), 2);
    QCOMPARE(progress.size(), 2);
    QCOMPARE(progress.at(0).at(0).toInt(), 1);
    QCOMPARE(progress.at(1).at(0).toInt(), 2);
    // Nothing is reloaded or unticked afterwards.
    QCOMPARE(m_database->executed().count(kPrimaryKeyList), 1);
    QCOMPARE(control<QLabel>("lblKeys").text(), QStringLiteral("Selected Keys: 2"));
}

void tst_frmMain::runWithNothingTickedShowsEmptyBar()
{
    startWith(fiveKeys());
    auto& txtLog = control<LogTextBox>("txtLog");
    txtLog.setText(QStringLiteral("from an earlier run\r\n"));

    QTest::mouseClick(&control<QPushButton>("cmdExecute"), Qt::LeftButton);

    QCOMPARE(txtLog.text(), QString());
    QCOMPARE(keyQueries(), QStringList {});
    auto& bar = control<RunProgressBar>("sbStatus");
    QCOMPARE(bar.maximum(), 0);
    // Drawn like an empty bar, not as Qt's busy animation for a zero range.
    RunProgressBar empty;
    empty.setTextVisible(false);
    empty.setRange(0, 1);
    empty.setValue(0);
    empty.resize(bar.size());
    QCOMPARE(bar.grab().toImage().convertToFormat(QImage::Format_ARGB32),
             empty.grab().toImage().convertToFormat(QImage::Format_ARGB32));
}

void tst_frmMain::runRefusesCloseAndSecondStart()
{
    startWith(fiveKeys());
    tickWithSpaceBar(1);
    tickWithSpaceBar(5);
    int blockersAlive = 0;
    window().setInputBlockerFactory([&](QWidget& blocked) {
        [&] { QCOMPARE(&blocked, static_cast<QWidget*>(&window())); }();
        ++blockersAlive;
        return std::shared_ptr<void>(nullptr, [&](void*) { --blockersAlive; });
    });
    QList<bool> closedDuringRun;
    QList<int> blockersDuringRun;
    m_database->respond = [&](const QString& sql) {
        if (sql.startsWith(kKeyQueryStart)) {
            blockersDuringRun.append(blockersAlive);
            closedDuringRun.append(window().close());
            control<QPushButton>("cmdExecute").click();
        }
        return FakeResult {};
    };

    control<QPushButton>("cmdExecute").click();

    QCOMPARE(keyQueries().size(), 2);
    QCOMPARE(closedDuringRun, (QList<bool> { false, false }));
    QCOMPARE(blockersDuringRun, (QList<int> { 1, 1 }));
    QCOMPARE(blockersAlive, 0);
    QVERIFY(!window().isRunInProgress());
    QVERIFY(window().close());
}

void tst_frmMain::addToLogKeepsLineEnds_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    // The box keeps CR LF as two characters, so the 4000-character rule counts them.
    QTest::newRow("one line") << QStringLiteral("T0\tPK0\r\n") << QStringLiteral("T0\tPK0\r\nT1\tPK1\r\n");
    QTest::newRow("4000 characters kept") << QString(3998, QLatin1Char('x')) + QStringLiteral("\r\n")
                                          << QString(3998, QLatin1Char('x')) + QStringLiteral("\r\nT1\tPK1\r\n");
    QTest::newRow("4001 characters cleared")
        << QString(3999, QLatin1Char('x')) + QStringLiteral("\r\n") << QStringLiteral("T1\tPK1\r\n");
}

void tst_frmMain::addToLogKeepsLineEnds()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    auto& txtLog = control<LogTextBox>("txtLog");
    txtLog.setText(before);
    window().AddtoTXTBox(txtLog, QStringLiteral("T1\tPK1"));
    QCOMPARE(txtLog.text(), after);
}

void tst_frmMain::windowLayout()
{
    startWith(fiveKeys());
    QCOMPARE(window().size(), QSize(780, 447));
    QCOMPARE(window().minimumSize(), window().maximumSize());
    QVERIFY(!(window().windowFlags() & Qt::WindowMaximizeButtonHint));

    const QIcon icon = window().windowIcon();
    QVERIFY(icon.availableSizes().contains(QSize(16, 16)));
    QVERIFY(icon.availableSizes().contains(QSize(32, 32)));
    QCOMPARE(control<QLabel>("imgLogo").pixmap().size(), QSize(170, 44));

    QCOMPARE(control<QListWidget>("lstFields").palette().color(QPalette::Base), QColor(128, 255, 128));
    auto& txtLog = control<LogTextBox>("txtLog");
    QVERIFY(txtLog.isReadOnly());
    QCOMPARE(txtLog.lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(txtLog.textInteractionFlags() & Qt::TextSelectableByMouse);
    QCOMPARE(txtLog.palette().color(QPalette::Base), txtLog.palette().color(QPalette::Button));

    for (const char* name : { "chkAll", "chkLog" }) // captions are not cut off, whatever the font
        QVERIFY2(control<QCheckBox>(name).width() >= control<QCheckBox>(name).sizeHint().width(), name);
    QVERIFY(control<QCheckBox>("chkLog").isChecked());
}

void tst_frmMain::focusStartsOnSelectAllAndFollowsTabOrder()
{
    startWith(fiveKeys());
    window().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window()));
    QCOMPARE(QApplication::focusWidget(), &control<QCheckBox>("chkAll"));
    const QStringList expected { QStringLiteral("cmdExecute"), QStringLiteral("txtLog"), QStringLiteral("lvTables"),
                                 QStringLiteral("lstFields"),  QStringLiteral("chkLog"), QStringLiteral("chkAll") };
    QStringList visited;
    for (qsizetype step = 0; step < expected.size(); ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(visited, expected);
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
