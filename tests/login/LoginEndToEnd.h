#pragma once

#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "main/TableListModel.h"
#include "main/frmMain.h"
#include "support/FilesHolding.h"

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
// On Linux the settings store keeps its folder once it has been used, so one folder serves every
// test of a program; on Windows the settings are in the user's one registry, where each test
// program keeps its own under a title of its own and removes them when it ends. startTest()
// empties the store and gives each test an application folder of its own.
class LoginTestFolders
{
public:
#ifdef Q_OS_WIN
    static QString settingsTitle()
    {
        return QStringLiteral("Quorvane ") + QCoreApplication::applicationName();
    }

    void startProgram()
    {
        QVERIFY(m_configHome.isValid());
        QCOMPARE(QtSettingsStore(settingsTitle()).fileName(), kRegistryRoot + QLatin1Char('\\') + settingsTitle());
    }

    ~LoginTestFolders()
    {
        clearSettings();
    }

    // The saved values, each marked " holds <text>" when it holds the text; with the text in no
    // value, the settings store is free of it.
    QStringList settingsHolding(const QString& text) const
    {
        const QSettings settings(kRegistryRoot + QLatin1Char('\\') + settingsTitle(), QSettings::NativeFormat);
        QStringList names;
        for (const QString& key : settings.allKeys())
            names.append(
                key + (settings.value(key).toString().contains(text) ? QStringLiteral(" holds ") + text : QString()));
        return names;
    }
    static inline const QStringList kSettingsStored { "Settings/DB", "Settings/Server", "Settings/User" };
    static void clearSettings()
    {
        QSettings(kRegistryRoot, QSettings::NativeFormat).remove(settingsTitle());
    }
#else
    static QString settingsTitle()
    {
        return QStringLiteral("Quorvane");
    }

    void startProgram()
    {
        QVERIFY(m_configHome.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
        QVERIFY(QtSettingsStore(settingsTitle()).fileName().startsWith(m_configHome.path()));
    }

    // The files of the settings store, each marked " holds <text>" when it holds the text.
    QStringList settingsHolding(const QString& text) const
    {
        return filesBelow(m_configHome.path(), text);
    }
    static inline const QStringList kSettingsStored { "Quorvane.conf" };
    static void clearSettings()
    {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, settingsTitle(), settingsTitle()).clear();
    }
#endif

    void startTest()
    {
        clearSettings();
        m_applicationFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_applicationFolder->isValid());
    }

    void endTest()
    {
        m_applicationFolder.reset();
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    QString configHome() const
    {
        return m_configHome.path();
    }
    QString applicationFolder() const
    {
        return m_applicationFolder->path();
    }

private:
#ifdef Q_OS_WIN
    static inline const QString kRegistryRoot
        = QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings");
#endif
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
