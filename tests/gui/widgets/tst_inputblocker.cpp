#include "support/GatedConnection.h"
#include "db/EventLoopConnection.h"
#include "widgets/InputBlocker.h"

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
    const QPointF at = box.rect().center();
    const QPointF global = box.mapToGlobal(at);
    QCoreApplication::postEvent(
        &box, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, {}));
    QCoreApplication::postEvent(
        &box, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, {}));
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
    QTest::addColumn<bool>("inDialog"); // the box sits in a window of its own owned by the main one
    QTest::addColumn<int>("toggles");
    QTest::newRow("blocked") << true << false << 0;
    QTest::newRow("not blocked (the same input does reach the box)") << false << false << 3;
    QTest::newRow("a message box of the blocked window") << true << true << 3;
}

void tst_InputBlocker::inputDuringHeldCallIsDropped()
{
    QFETCH(bool, blocked);
    QFETCH(bool, inDialog);
    QFETCH(int, toggles);
    QWidget window;
    QDialog dialog(&window);
    QWidget& holder = inDialog ? dialog : window;
    QCheckBox chkAll(QStringLiteral("Select All Tables"));
    (new QVBoxLayout(&holder))->addWidget(&chkAll);
    int toggled = 0;
    connect(&chkAll, &QCheckBox::toggled, this, [&] { ++toggled; });
    window.show();
    dialog.setVisible(inDialog);
    holder.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&holder));
    chkAll.setFocus();

    {
        const std::optional<InputBlocker> blocker = blocked ? std::make_optional<InputBlocker>(window) : std::nullopt;
        test::Gate gate;
        db::EventLoopConnection connection(std::make_unique<test::GatedConnection>(gate));
        QTimer::singleShot(0, this, [&] {
            clickThroughWindow(chkAll);
            QTest::keyClick(holder.windowHandle(), Qt::Key_Space);
            postClick(chkAll);
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
