#include "GatedConnection.h"
#include "db/ResponsiveConnection.h"
#include "rebuild/InputBlocker.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <optional>

using namespace quorvane;

namespace {

// A click on the middle of the box, sent the way the window system sends it: to the window.
void clickThroughWindow(QCheckBox& box)
{
    QTest::mouseClick(box.window()->windowHandle(), Qt::LeftButton, {}, box.mapTo(box.window(), box.rect().center()));
}

// A click on the middle of the box, queued for later delivery.
void postClick(QCheckBox& box)
{
    const QPointF middle = box.rect().center();
    for (const QEvent::Type type : { QEvent::MouseButtonPress, QEvent::MouseButtonRelease })
        QCoreApplication::postEvent(&box,
                                    new QMouseEvent(type, middle, box.mapToGlobal(middle), Qt::LeftButton,
                                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                    {}));
}

} // namespace

// A window kept from input while a database call is held and this thread handles events meanwhile.
class tst_InputBlocker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }
    void inputDuringHeldCallIsDropped_data();
    void inputDuringHeldCallIsDropped();
};

void tst_InputBlocker::inputDuringHeldCallIsDropped_data()
{
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<bool>("inDialog"); // the boxes sit in a window of their own owned by the main one
    QTest::addColumn<int>("toggles");
    QTest::newRow("blocked") << true << false << 0;
    QTest::newRow("not blocked (the same input does reach the boxes)") << false << false << 4;
    QTest::newRow("a message box of the blocked window") << true << true << 4;
}

void tst_InputBlocker::inputDuringHeldCallIsDropped()
{
    QFETCH(bool, blocked);
    QFETCH(bool, inDialog);
    QFETCH(int, toggles);
    QWidget window;
    QDialog dialog(&window);
    QWidget& holder = inDialog ? dialog : window;
    auto* layout = new QVBoxLayout(&holder);
    QCheckBox chkAll(QStringLiteral("Select All Tables"));
    QCheckBox chkLog(QStringLiteral("Log Results to a File"));
    layout->addWidget(&chkAll);
    layout->addWidget(&chkLog);
    int toggled = 0;
    for (QCheckBox* box : { &chkAll, &chkLog })
        connect(box, &QCheckBox::toggled, this, [&] { ++toggled; });
    window.show();
    dialog.setVisible(inDialog);
    holder.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&holder));
    chkAll.setFocus();

    {
        const std::optional<InputBlocker> blocker = blocked ? std::make_optional<InputBlocker>(window) : std::nullopt;
        test::Gate gate;
        db::ResponsiveConnection connection(std::make_unique<test::GatedConnection>(gate));
        QTimer::singleShot(0, this, [&] {
            clickThroughWindow(chkAll);
            QTest::keyClick(holder.windowHandle(), Qt::Key_Space);
            postClick(chkAll);
            clickThroughWindow(chkLog);
            // Closing, by the program or by the window system's close button.
            holder.close();
            holder.windowHandle()->close();
            gate.letOneThrough();
        });
        connection.BeginTrans();
        QCOMPARE(gate.forcedOpen.load(), 0);
    }
    // Nothing was held back to arrive once the window takes input again.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(toggled, toggles);
    QCOMPARE(holder.isVisible(), toggles == 0);
}

QTEST_MAIN(tst_InputBlocker)
#include "tst_inputblocker.moc"
