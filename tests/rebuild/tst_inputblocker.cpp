#include "GatedConnection.h"
#include "db/ResponsiveConnection.h"
#include "rebuild/InputBlocker.h"

#include <QCheckBox>
#include <QDialog>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

using namespace quorvane;

namespace {

class PaintArea final : public QWidget
{
public:
    std::function<void()> onPaint;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (onPaint)
            onPaint();
    }
};

// A click on the middle of the box, sent the way the window system sends it: to the window.
void clickThroughWindow(QCheckBox& box)
{
    QTest::mouseClick(box.window()->windowHandle(), Qt::LeftButton, {}, box.mapTo(box.window(), box.rect().center()));
}

// A click on the middle of the box, queued for later delivery.
void postClick(QCheckBox& box)
{
    const QPointF middle = box.rect().center();
    const QPointF global = box.mapToGlobal(middle);
    QCoreApplication::postEvent(
        &box, new QMouseEvent(QEvent::MouseButtonPress, middle, global, Qt::LeftButton, Qt::LeftButton, {}));
    QCoreApplication::postEvent(
        &box, new QMouseEvent(QEvent::MouseButtonRelease, middle, global, Qt::LeftButton, Qt::NoButton, {}));
}

} // namespace

class tst_InputBlocker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void inputDuringCallIsDropped_data();
    void inputDuringCallIsDropped();
    void closingIsRefusedWhileBlocked();
    void otherWindowsStillTakeInput();
    void windowRepaintsDuringCall();

private:
    // Runs one database call that is held until `duringCall` (run from this thread's event loop
    // while the call waits) lets it go.
    void holdCall(const std::function<void(test::Gate&)>& duringCall);

    std::unique_ptr<QWidget> m_window;
    QCheckBox* m_chkAll = nullptr;
    QCheckBox* m_chkLog = nullptr;
    PaintArea* m_paintArea = nullptr;
    int m_toggles = 0;
};

void tst_InputBlocker::init()
{
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    m_chkAll = new QCheckBox(QStringLiteral("Select All Tables"));
    m_chkLog = new QCheckBox(QStringLiteral("Log Results to a File"));
    m_paintArea = new PaintArea;
    m_paintArea->setMinimumSize(200, 100);
    layout->addWidget(m_chkAll);
    layout->addWidget(m_chkLog);
    layout->addWidget(m_paintArea);
    m_toggles = 0;
    connect(m_chkAll, &QCheckBox::toggled, this, [this] { ++m_toggles; });
    connect(m_chkLog, &QCheckBox::toggled, this, [this] { ++m_toggles; });
    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    m_chkAll->setFocus();
}

void tst_InputBlocker::cleanup()
{
    m_window.reset();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_InputBlocker::holdCall(const std::function<void(test::Gate&)>& duringCall)
{
    test::Gate gate;
    db::ResponsiveConnection connection(std::make_unique<test::GatedConnection>(gate));
    QTimer::singleShot(0, this, [&] { duringCall(gate); });
    connection.BeginTrans();
    QCOMPARE(gate.forcedOpen.load(), 0);
}

void tst_InputBlocker::inputDuringCallIsDropped_data()
{
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<int>("expectedToggles");
    QTest::addColumn<QString>("expectedFocus");
    QTest::newRow("blocked") << true << 0 << "Select All Tables";
    QTest::newRow("not blocked (the same input does reach the boxes)") << false << 4 << "Log Results to a File";
}

void tst_InputBlocker::inputDuringCallIsDropped()
{
    QFETCH(bool, blocked);
    QFETCH(int, expectedToggles);
    QFETCH(QString, expectedFocus);
    {
        const std::optional<InputBlocker> blocker
            = blocked ? std::make_optional<InputBlocker>(*m_window) : std::nullopt;
        holdCall([&](test::Gate& gate) {
            clickThroughWindow(*m_chkAll);
            QTest::keyClick(m_window->windowHandle(), Qt::Key_Space);
            postClick(*m_chkAll);
            clickThroughWindow(*m_chkLog);
            gate.letOneThrough();
        });
    }
    // Nothing was held back to arrive once the window takes input again.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(m_toggles, expectedToggles);
    QVERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->property("text").toString(), expectedFocus);
}

void tst_InputBlocker::closingIsRefusedWhileBlocked()
{
    {
        const InputBlocker blocker(*m_window);
        holdCall([&](test::Gate& gate) {
            QVERIFY(!m_window->close());
            m_window->windowHandle()->close();
            gate.letOneThrough();
        });
        QVERIFY(m_window->isVisible());
    }
    QVERIFY(m_window->close());
}

void tst_InputBlocker::otherWindowsStillTakeInput()
{
    // Like the failure message box: a window of its own, owned by the blocked one.
    auto* dialog = new QDialog(m_window.get());
    auto* box = new QCheckBox(QStringLiteral("OK"), dialog);
    box->resize(box->sizeHint());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    int dialogToggles = 0;
    connect(box, &QCheckBox::toggled, this, [&] { ++dialogToggles; });

    const InputBlocker blocker(*m_window);
    holdCall([&](test::Gate& gate) {
        clickThroughWindow(*box);
        gate.letOneThrough();
    });
    QCOMPARE(dialogToggles, 1);
}

void tst_InputBlocker::windowRepaintsDuringCall()
{
    const InputBlocker blocker(*m_window);
    holdCall([&](test::Gate& gate) {
        // The call is let go only once the window has painted while it was held.
        m_paintArea->onPaint = [&gate] { gate.letOneThrough(); };
        m_paintArea->update();
    });
    m_paintArea->onPaint = nullptr;
}

QTEST_MAIN(tst_InputBlocker)
#include "tst_inputblocker.moc"
