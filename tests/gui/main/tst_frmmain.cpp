#include "db/ErrorNumbers.h"
#include "main/LogTextBox.h"
#include "main/RunProgressBar.h"
#include "support/FakeConnection.h"
#include "support/StandinWindow.h"
#include "widgets/MessageBoxSink.h"
#include "widgets/Twips.h"

#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSemaphore>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

using namespace quorvane;
using namespace quorvane::test;

namespace {

// Counts the paint events the main window gets during a run.
struct PaintsDuringRun final : QObject
{
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        counted += event->type() == QEvent::Paint && static_cast<frmMain*>(watched)->isRunInProgress() ? 1 : 0;
        return false;
    }
    int counted = 0;
};

} // namespace

// The main window over an in-process database: the cases the stand-in cannot serve, and the
// window's own behaviour that needs no server.
class tst_frmMain : public WindowTest
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_database = std::make_unique<FakeDatabase>();
        m_ui = std::make_unique<StandinWindow>(m_database->factory());
    }

    // The version in the caption and the columns sized to the list; a record that cannot be read ends
    // the fill, reported once, and the rows read before it stay.
    void startupSizesColumnsAndKeepsRowsReadBeforeFailure()
    {
        Platform& platform = ui().platform();
        std::tie(platform.versionMajor, platform.versionMinor, platform.versionRevision) = std::tuple(10, 20, 300);
        // The second record holds the constraint name only: that row gets no sub-items and the fill ends.
        startWith(0, { { "PK1", "T1", "Navision" }, { "PK2" }, { "PK3", "T3", "Navision" } });

        QCOMPARE(ui().window().windowTitle(), "Clustered Index Fix Utility - v10.20.300  (TVL 2006)");
        // The logo and the icon, read through Qt's GIF and ICO image plugins.
        QCOMPARE(ui().control<QLabel>("imgLogo").pixmap().size(), QSize(170, 44));
        for (const int pixels : { 16, 32 })
            QVERIFY(!ui().window().windowIcon().pixmap(QSize(pixels, pixels)).isNull());
        const auto& lv = ui().control<QTreeView>("lvTables");
        QCOMPARE(pixelsToTwips(lv.width()), 8535.0f);
        // (8535 - 350) / 3 = 2728.3 twips each, 182 pixels at 15 twips to the pixel.
        for (int column = 0; column < 3; ++column)
            QCOMPARE(lv.header()->sectionSize(column), 182);
        QCOMPARE(ui().rows(), (QStringList { "PK1 | T1 | Navision", "PK2 |  | " }));
        // The rows read so far can be used; the short one is reported when clicked.
        ui().clickRow(1);
        QCOMPARE(ui().fieldLines(), QStringList { "Code" });
        ui().clickRow(2);
        QCOMPARE(ui().errorRecords(), (QStringList { "LoadTablesIntoLV 3265", "lvTables_ItemClick 35600" }));
    }

    void selection_data()
    {
        // Steps: "t<n>" ticks or clears row n with the space bar, "a" clicks "Select All Tables",
        // "c<n>" clicks row n.
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("label");
        QTest::newRow("one tick") << 5 << QStringList { "t2" } << "Selected Keys: 1";
        QTest::newRow("select all") << 5 << QStringList { "a" } << "Selected Keys: 5";
        QTest::newRow("select all and clear") << 5 << QStringList { "a", "a" } << "Selected Keys: 0";
        QTest::newRow("select all, untick one") << 5 << QStringList { "a", "t3" } << "Selected Keys: 4";
        QTest::newRow("click keeps design caption") << 5 << QStringList { "c1" } << "";
        QTest::newRow("select all on empty list") << 0 << QStringList { "a" } << "Selected Keys: 0";
    }

    void selection()
    {
        QFETCH(int, rows);
        QFETCH(QStringList, steps);
        QFETCH(QString, label);
        startWith(rows);
        for (const QString& step : steps) {
            if (step == QLatin1String("a"))
                QTest::mouseClick(&ui().control<QCheckBox>("chkAll"), Qt::LeftButton);
            else if (step.startsWith(QLatin1Char('t')))
                ui().tickRow(step.mid(1).toInt());
            else
                ui().clickRow(step.mid(1).toInt());
        }
        QCOMPARE(ui().control<QLabel>("lblKeys").text(), label);
        const int ticked = label.section(QLatin1Char(' '), -1).toInt();
        // The program never sets "Select All Tables"; it keeps the user's last click.
        QCOMPARE(ui().control<QCheckBox>("chkAll").isChecked(), steps.count(QStringLiteral("a")) % 2 == 1);

        // What is ticked is what runs. The bar is drawn as one of that many steps all done, and a run of
        // nothing as an empty bar, not as Qt's busy animation for a zero range.
        ui().clickExecute();
        QCOMPARE(m_database->executed().filter(QStringLiteral(" ADD ")).size(), ticked);
        QVERIFY(ui().control<LogTextBox>("txtLog").text().endsWith(
            QString::asprintf("Done: %d rebuilt, 0 failed, 0 skipped, 0 not processed.\r\n", ticked)));
        auto& bar = ui().control<RunProgressBar>("sbStatus");
        QCOMPARE(bar.maximum(), ticked);
        RunProgressBar drawn;
        drawn.setTextVisible(false);
        drawn.setRange(0, std::max(ticked, 1));
        drawn.setValue(ticked);
        drawn.resize(bar.size());
        QCOMPARE(bar.grab().toImage().convertToFormat(QImage::Format_ARGB32),
                 drawn.grab().toImage().convertToFormat(QImage::Format_ARGB32));
        QCOMPARE(ui().errorLog(), QString());
    }

    void heldStatementKeepsWindowPaintedAndDeaf()
    {
        startWith(5);
        frmMain& window = ui().window();
        auto& chkAll = ui().control<QCheckBox>("chkAll");
        // A box of the main window's own, such as a message box, goes on taking input.
        QDialog dialog(&window);
        auto* inDialog = new QCheckBox(&dialog);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // While the first DROP is held, the window is asked to repaint, and gets what the window system
        // and the program send to a window: clicks, a space bar, a close.
        QList<bool> closed;
        QSemaphore done;
        bool held = false; // used on the connection's thread only
        m_database->respond = [&, answer = m_database->respond](const QString& sql) {
            if (!held && sql.contains(QLatin1String(" DROP "))) {
                held = true;
                QMetaObject::invokeMethod(&window, [&] {
                    window.update();
                    QCoreApplication::processEvents();
                    for (QCheckBox* box : { &chkAll, inDialog }) {
                        const QPoint at = box->rect().center();
                        QTest::mouseClick(box->window()->windowHandle(), Qt::LeftButton, {},
                                          box->mapTo(box->window(), at));
                        box->setFocus();
                        QTest::keyClick(box->window()->windowHandle(), Qt::Key_Space);
                        // The same click once more, queued for later delivery.
                        for (const auto type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease })
                            QCoreApplication::postEvent(
                                box,
                                new QMouseEvent(type, at, box->mapToGlobal(at), Qt::LeftButton,
                                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, {}));
                        closed.append(box->window()->close());
                        box->window()->windowHandle()->close();
                    }
                    done.release();
                });
                done.tryAcquire(1, 20000);
            }
            return answer(sql);
        };
        PaintsDuringRun paints;
        window.installEventFilter(&paints);

        ui().runOn({ 1, 3 });
        // Nothing was held back to arrive once the window takes input again.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();

        QCOMPARE(closed, (QList<bool> { false, true }));
        QVERIFY(paints.counted > 0);
        QCOMPARE(ui().tickedRows(), (QList<int> { 1, 3 }));
        QVERIFY(window.isVisible());
        QVERIFY(inDialog->isChecked() && !dialog.isVisible()); // three times toggled, then closed
        QCOMPARE(m_database->executed().filter(QStringLiteral(" ADD ")).size(), 2);
        // The same click after the run does reach the box.
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, chkAll.mapTo(&window, chkAll.rect().center()));
        QCOMPARE(ui().tickedRows(), (QList<int> { 1, 2, 3, 4, 5 }));
    }

    // The message boxes every window shows: the title as caption, no icon, one OK button, and
    // showMessage returns once it is pressed.
    void messageBoxSinkShowsOneOkBoxAndWaitsForIt()
    {
        const QString text = QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details.");
        quorvane::MessageBoxSink sink(QStringLiteral("Quorvane"));
        QStringList shown;
        QTimer::singleShot(0, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            shown = QStringList { box->windowTitle(), box->text(), QString::number(box->icon()),
                                  QString::number(box->buttons().size()) };
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });

        sink.showMessage(text);

        QCOMPARE(shown, (QStringList { "Quorvane", text, QString::number(QMessageBox::NoIcon), "1" }));
    }

    // Stop during a run, as the button, Esc or closing the window asks for it, while the second
    // table's DROP is held: once stops after that table; twice cancels its statement and rolls it back.
    void stopDuringRun_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("log"); // the on-screen log, lines joined by "|"
        QTest::newRow("Stop once") << "button"
                                   << "T1\tPK1|T2\tPK2|Done: 2 rebuilt, 0 failed, 0 skipped, 1 not processed.";
        QTest::newRow("Esc twice") << "escape escape"
                                   << "T1\tPK1|T2\tPK2  (cancelled, not changed)|"
                                      "Done: 1 rebuilt, 0 failed, 0 skipped, 2 not processed.";
        QTest::newRow("close: Stop Now") << "close"
                                         << "T1\tPK1|T2\tPK2  (cancelled, not changed)|"
                                            "Done: 1 rebuilt, 0 failed, 0 skipped, 2 not processed.";
    }

    void stopDuringRun()
    {
        QFETCH(QString, how);
        QFETCH(QString, log);
        startWith(3);
        frmMain& window = ui().window();
        auto& cmdStop = ui().control<QPushButton>("cmdStop");
        ui().messages.answer = [](const QStringList& choices) { return int(choices.indexOf("Stop Now")); };
        bool visibleDuringRun = false;
        m_database->respond = [&, answer = m_database->respond, drops = 0](const QString& sql) mutable {
            if (sql.contains(QLatin1String(" DROP ")) && ++drops == 2) {
                QSemaphore done;
                QMetaObject::invokeMethod(&window, [&] {
                    visibleDuringRun = cmdStop.isVisible() && !ui().control<QPushButton>("cmdExecute").isVisible();
                    for (const QString& step : how.split(u' ')) {
                        if (step == "button")
                            QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                                              cmdStop.mapTo(&window, cmdStop.rect().center()));
                        else if (step == "escape")
                            QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
                        else
                            window.windowHandle()->close();
                    }
                    done.release();
                });
                done.tryAcquire(1, 20000);
            }
            return answer(sql);
        };
        ui().runOn({ 1, 2, 3 });
        QCoreApplication::processEvents();

        QVERIFY(visibleDuringRun);
        QCOMPARE(ui().control<LogTextBox>("txtLog").text().split("\r\n", Qt::SkipEmptyParts).join(u'|'), log);
        QCOMPARE(m_database->events.count("CANCEL"), how == "button" ? 0 : 1);
        QCOMPARE(m_database->executed().filter(QStringLiteral(" ADD ")).size(), how == "button" ? 2 : 1);
        QCOMPARE(ui().tickedRows(), (QList<int> { 1, 2, 3 }));
        QCOMPARE(window.isVisible(), how != "close");
    }

    // A COMMIT whose reply is lost while the server cannot be reached again: the table's outcome
    // stays unknown until the next run, which looks at its key first.
    void outcomeLookedAtOnceTheServerIsBack()
    {
        startWith(2);
        m_database->respond = [answer = m_database->respond](const QString& sql) {
            return sql.contains(QLatin1String("INDEXPROPERTY")) ? FakeResult { { { "1" } }, {}, 0 } : answer(sql);
        };
        m_database->commitLosesReply = true;
        m_database->openFailure = Failure(db::kErrorFail, QStringLiteral("unreachable"));
        ui().runOn({ 1 });
        const QString unknown = QStringLiteral("T1\tPK1  (outcome unknown, see ErrorLog.txt)\r\n");
        QCOMPARE(ui().control<LogTextBox>("txtLog").text(),
                 unknown + "Done: 0 rebuilt, 1 failed, 0 skipped, 0 not processed.\r\n");

        m_database->commitLosesReply = false;
        m_database->openFailure.reset();
        ui().tickRow(1);
        ui().runOn({ 2 });
        QCOMPARE(ui().control<LogTextBox>("txtLog").text(),
                 "T1\tPK1  (checked after reconnecting: rebuilt)\r\nT2\tPK2\r\n"
                 "Done: 1 rebuilt, 0 failed, 0 skipped, 0 not processed.\r\n");
        QVERIFY(ui().errorLog().contains("Checked after reconnecting: the key PK1 of the table T1 is clustered"));
    }

private:
    // Starts the window on a database whose primary-key list holds the rows "PK<n>", "T<n>",
    // "Navision" for n from 1 to count, or the rows given, every key on the column "Code".
    void startWith(int count, QList<QStringList> rows = {})
    {
        for (int n = 1; n <= count; ++n)
            rows.append({ QStringLiteral("PK%1").arg(n), QStringLiteral("T%1").arg(n), QStringLiteral("Navision") });
        m_database->respond = [rows](const QString& sql) {
            if (sql.contains(QLatin1String("INFORMATION_SCHEMA.TABLE_CONSTRAINTS")))
                return FakeResult { rows, {}, 0 };
            if (sql.contains(QLatin1String("FILEGROUP_NAME(groupid)")))
                return FakeResult { { { "PRIMARY" } }, {}, 0 };
            if (sql.contains(QLatin1String("sysindexes")))
                return FakeResult {}; // no details
            return FakeResult { { { "Code" } }, {}, 0 };
        };
        QVERIFY(ui().start(QStringLiteral("Provider=sqloledb;Data Source=srv;Initial Catalog=Navision;")));
    }

    std::unique_ptr<FakeDatabase> m_database;
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
