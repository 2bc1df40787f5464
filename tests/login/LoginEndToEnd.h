#pragma once

#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "main/TableListModel.h"
#include "main/frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

namespace quorvane::test {

// The login window's messages for a server it cannot reach and for a refused login.
inline const QString kNoServer = QStringLiteral("Could not connect to the passed server.");
inline const QString kLoginRefused = QStringLiteral("The Login information entered was invalid.");

// The folders an end-to-end login test writes to: saved settings and the application folder.
// The settings store keeps its folder once it has been used, so one folder serves every test of a
// program; startTest() empties it and gives each test an application folder of its own.
class LoginTestFolders
{
public:
    static inline const QString kTitle = QStringLiteral("Quorvane");

    void startProgram()
    {
        QVERIFY(m_configHome.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
        QVERIFY(QtSettingsStore(kTitle).fileName().startsWith(m_configHome.path()));
    }

    void startTest()
    {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, kTitle, kTitle).clear();
        m_applicationFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_applicationFolder->isValid());
    }

    void endTest()
    {
        m_applicationFolder.reset();
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    QString configHome() const { return m_configHome.path(); }
    QString applicationFolder() const { return m_applicationFolder->path(); }

private:
    QTemporaryDir m_configHome;
    std::unique_ptr<QTemporaryDir> m_applicationFolder;
};

// Types the four login fields as the user does; the connection string is rebuilt on the way.
inline void typeLogin(const frmLogin& form, const QString& server, const QString& database, const QString& user,
                      const QString& password)
{
    form.findChild<QLineEdit*>("txtServer")->setText(server);
    form.findChild<QLineEdit*>("txtDB")->setText(database);
    form.findChild<QLineEdit*>("txtUser")->setText(user);
    form.findChild<QLineEdit*>("txtPW")->clear();
    QTest::keyClicks(form.findChild<QLineEdit*>("txtPW"), password);
}

// In the main window, ticks the only table listed and runs the rebuild with the activity log on.
inline void rebuildTheOnlyTable(frmMain& window)
{
    auto* items = qobject_cast<TableListModel*>(window.findChild<QTreeView*>("lvTables")->model());
    QVERIFY(items != nullptr);
    QCOMPARE(items->itemCount(), 1);
    QVERIFY(items->setData(items->index(0, 0), Qt::Checked, Qt::CheckStateRole));
    window.findChild<QCheckBox*>("chkLog")->setChecked(true);
    QTest::mouseClick(window.findChild<QPushButton*>("cmdExecute"), Qt::LeftButton);
    QTRY_VERIFY(!window.isRunInProgress());
}

} // namespace quorvane::test
