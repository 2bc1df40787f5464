#include "widgets/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class tst_MessageBoxSink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty()); }
    void showsOneOkBoxAndWaitsForIt()
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
};

QTEST_MAIN(tst_MessageBoxSink)
#include "tst_messageboxsink.moc"
