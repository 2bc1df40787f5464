#include "main/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class tst_MessageBoxSink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsOneOkBoxAndWaitsForIt();
    void cleanup();
};

void tst_MessageBoxSink::showsOneOkBoxAndWaitsForIt()
{
    quorvane::MessageBoxSink sink(QStringLiteral("Quorvane"));
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    qsizetype buttons = 0;
    bool confirmed = false;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->buttons().size();
        confirmed = true;
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });

    sink.showMessage(QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details."));

    QVERIFY(confirmed);
    QCOMPARE(title, QStringLiteral("Quorvane"));
    QCOMPARE(text, QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details."));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QCOMPARE(buttons, 1);
}

void tst_MessageBoxSink::cleanup()
{
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

QTEST_MAIN(tst_MessageBoxSink)
#include "tst_messageboxsink.moc"
