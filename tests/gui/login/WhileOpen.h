#pragma once

#include "login/frmLogin.h"

#include <QApplication>
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

} // namespace quorvane::test
