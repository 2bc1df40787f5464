#pragma once

#include "login/QtSettingsStore.h"

#include <QApplication>
#include <QFile>
#include <QObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace quorvane::test {

// The base of a test class driving the login window with the real settings store: the store's
// folder is a temporary one for the whole test (the store keeps its folder once it has been
// used), emptied before every test function, and a fresh application folder for each.
class LoginWindowTest : public QObject
{
    Q_OBJECT

protected:
    static inline const QString kTitle = QStringLiteral("Quorvane");

    QTemporaryDir m_configHome;
    std::unique_ptr<QTemporaryDir> m_applicationFolder;

protected Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_configHome.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
        QVERIFY(QtSettingsStore(kTitle).fileName().startsWith(m_configHome.path()));
    }
    void init()
    {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, kTitle, kTitle).clear();
        m_applicationFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_applicationFolder->isValid());
    }
    void cleanup()
    {
        m_applicationFolder.reset();
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }
};

} // namespace quorvane::test
