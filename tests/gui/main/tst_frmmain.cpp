#include "main/RunProgressBar.h"
#include "support/FakeConnection.h"
#include "support/StandinWindow.h"
#include "widgets/Twips.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// Rows "PK<n>", "T<n>", "Navision" for n from 1 to count, as the primary-key list returns them.
QList<QStringList> keys(int count)
{
    QList<QStringList> rows;
    for (int n = 1; n <= count; ++n)
        rows.append({ QStringLiteral("PK%1").arg(n), QStringLiteral("T%1").arg(n), QStringLiteral("Navision") });
    return rows;
}

} // namespace

// The main window over an in-process database: the cases the stand-in cannot serve, and the
// window's own behaviour that needs no server.
class tst_frmMain : public WindowTest
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void startupSizesColumnsAndShowsVersion_data();
    void startupSizesColumnsAndShowsVersion();
    void fillFailureIsReportedOnceAndRowsStay();
    void selection_data();
    void selection();
    void runWithNothingTickedShowsEmptyBar();
    void logoAndIconAreShown();

private:
    // Starts the window on a database whose primary-key list holds these rows, every key on the
    // column "Code".
    void startWith(const QList<QStringList>& rows);

    std::unique_ptr<FakeDatabase> m_database;
};

void tst_frmMain::init()
{
    m_database = std::make_unique<FakeDatabase>();
    m_ui = std::make_unique<StandinWindow>(m_database->factory());
}

void tst_frmMain::startWith(const QList<QStringList>& rows)
{
    m_database->respond = [rows](const QString& sql) {
        if (sql.contains(QLatin1String("INFORMATION_SCHEMA.TABLE_CONSTRAINTS")))
            return FakeResult { rows, {}, 0 };
        if (sql.contains(QLatin1String("sysindexes")))
            return FakeResult {}; // no details
        return FakeResult { { { "Code" } }, {}, 0 };
    };
    QVERIFY(ui().start(QStringLiteral("Provider=sqloledb;Data Source=srv;Initial Catalog=Navision;")));
}

void tst_frmMain::startupSizesColumnsAndShowsVersion_data()
{
    QTest::addColumn<QList<int>>("version");
    QTest::addColumn<QString>("caption");
    QTest::newRow("1.0.0") << QList<int> { 1, 0, 0 } << "Clustered Index Fix Utility - v1.0.0  (TVL 2006)";
    QTest::newRow("10.20.300") << QList<int> { 10, 20, 300 } << "Clustered Index Fix Utility - v10.20.300  (TVL 2006)";
}

void tst_frmMain::startupSizesColumnsAndShowsVersion()
{
    QFETCH(QList<int>, version);
    QFETCH(QString, caption);
    ui().platform().versionMajor = version.at(0);
    ui().platform().versionMinor = version.at(1);
    ui().platform().versionRevision = version.at(2);
    startWith(keys(1));

    QCOMPARE(ui().window().windowTitle(), caption);
    const auto& lv = ui().control<QTreeView>("lvTables");
    QCOMPARE(pixelsToTwips(lv.width()), 8535.0f);
    // (8535 - 350) / 3 = 2728.3 twips each, 182 pixels at 15 twips to the pixel.
    for (int column = 0; column < 3; ++column)
        QCOMPARE(lv.header()->sectionSize(column), 182);
    QCOMPARE(ui().errorLog(), QString());
}

void tst_frmMain::fillFailureIsReportedOnceAndRowsStay()
{
    // The second record holds the constraint name only: that row gets no sub-items and the fill ends.
    startWith({ { "PK1", "T1", "Navision" }, { "PK2" }, { "PK3", "T3", "Navision" } });
    QCOMPARE(ui().errorSources(), QStringList { "LoadTablesIntoLV" });
    QCOMPARE(ui().rows(), (QStringList { "PK1 | T1 | Navision", "PK2 |  | " }));
    QCOMPARE(ui().window().windowTitle(), QStringLiteral("Clustered Index Fix Utility - v1.0.0  (TVL 2006)"));

    // The rows read so far can be used; the short one is reported when clicked.
    ui().clickRow(1);
    QCOMPARE(ui().fieldLines(), QStringList { "Code" });
    ui().clickRow(2);
    QCOMPARE(ui().errorSources(), (QStringList { "LoadTablesIntoLV", "lvTables_ItemClick" }));
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
    startWith(keys(rows));
    for (const QString& step : steps) {
        if (step == QLatin1String("a"))
            QTest::mouseClick(&ui().control<QCheckBox>("chkAll"), Qt::LeftButton);
        else if (step.startsWith(QLatin1Char('t')))
            ui().tickRow(step.mid(1).toInt());
        else
            ui().clickRow(step.mid(1).toInt());
    }
    QCOMPARE(ui().control<QLabel>("lblKeys").text(), label);
    QCOMPARE(ui().tickedRows().size(), ticked);
    // The program never sets "Select All Tables"; it keeps the user's last click.
    QCOMPARE(ui().control<QCheckBox>("chkAll").isChecked(), steps.count(QStringLiteral("a")) % 2 == 1);
    QCOMPARE(ui().errorLog(), QString());
}

void tst_frmMain::runWithNothingTickedShowsEmptyBar()
{
    startWith(keys(5));

    ui().clickExecute();

    QCOMPARE(m_database->executed().size(), 2); // the list and its details only
    auto& bar = ui().control<RunProgressBar>("sbStatus");
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

// The logo (a GIF) and the window icon (an ICO) come from the resources through Qt's image
// plug-ins, which a deployed copy must carry.
void tst_frmMain::logoAndIconAreShown()
{
    startWith(keys(1));

    QCOMPARE(ui().control<QLabel>("imgLogo").pixmap().size(), QSize(170, 44));
    QVERIFY(!ui().window().windowIcon().pixmap(QSize(16, 16)).isNull());
    QVERIFY(!ui().window().windowIcon().pixmap(QSize(32, 32)).isNull());
}

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
