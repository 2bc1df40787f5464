#pragma once

#include "login/frmLogin.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <functional>

namespace quorvane::test {

// Shows the login window modally and runs the actions inside its event loop; a window still open
// afterwards is closed as the user closes it.
inline void whileOpen(frmLogin& form, bool countDown, const std::function<void()>& actions)
{
    QTimer::singleShot(0, &form, [&] {
        const auto closer = qScopeGuard([&] {
            if (form.isVisible())
                form.close();
        });
        QCOMPARE(QApplication::activeModalWidget(), &form);
        actions();
    });
    form.OpenForm(countDown);
    QVERIFY(!form.isVisible());
}

// Fills the login fields as the user does, then edits the port in the built connection string by
// hand: the template always names port 1433, the stand-in listens elsewhere; added keywords go
// at the end of the string. Then presses CONNECT.
inline void connectAs(const frmLogin& form, const QString& database, const QString& user, const QString& password,
                      quint16 port, const QString& addedKeywords = QString())
{
    form.findChild<QLineEdit*>("txtServer")->setText(QStringLiteral("127.0.0.1"));
    form.findChild<QLineEdit*>("txtDB")->setText(database);
    form.findChild<QLineEdit*>("txtUser")->setText(user);
    form.findChild<QLineEdit*>("txtPW")->clear();
    QTest::keyClicks(form.findChild<QLineEdit*>("txtPW"), password);
    auto* txtConnect = form.findChild<QPlainTextEdit*>("txtConnect");
    txtConnect->setPlainText(txtConnect->toPlainText().replace(",1433;", QStringLiteral(",%1;").arg(port))
                             + addedKeywords);
    QTest::mouseClick(form.findChild<QPushButton*>("cmdConnect"), Qt::LeftButton);
}

} // namespace quorvane::test
