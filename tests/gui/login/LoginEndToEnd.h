#pragma once

#include "db/OdbcConnection.h"
#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "main/frmMain.h"
#include "support/Clock.h"
#include "support/ErrorReport.h"
#include "support/FilesHolding.h"
#include "support/HostProcess.h"
#include "support/RecordingMessageSink.h"
#include "support/StandinFixture.h"
#include "support/StandinProcess.h"
#include "widgets/Platform.h"

#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

namespace quorvane::test {

// The login window's messages for a server it cannot reach, a refused login and a database that
// is not Navision's.
inline const QString kNoServer = QStringLiteral("Could not connect to the passed server.");
inline const QString kLoginRefused = QStringLiteral("The Login information entered was invalid.");
inline const QString kNotNavision = QStringLiteral("The selected database is not a valid Navision 4.0 Database");

// The logins of navCatalogue(): a SQL login, and a domain account that logs in with NTLM.
inline const QString kSqlUser = QStringLiteral("navuser");
inline const QString kSqlPassword = QStringLiteral("Nav#2006");
inline const QString kDomainUser = QStringLiteral("CORP\\anna");
inline const QString kDomainPassword = QStringLiteral("Wq4;Anna 'Dom\"2006");

// fixtures/logins.json with the SQL login (with the password given) and the domain account; NAV is a
// Navision database whose per-user table holds both users, with three keyed tables of which adding
// the key to CRONUS$Ledger fails; PLAIN has no per-user table, and ORPHANED has one whose only row
// belongs to no user of the database.
inline QJsonObject navCatalogue(const QString& sqlPassword = kSqlPassword)
{
    // Unread, the stand-in has no databases and the tests fail.
    const QString path = QStringLiteral(QUORVANE_SOURCE_DIR "/tests/gui/login/fixtures/logins.json");
    QJsonObject fixture = QJsonDocument::fromJson(fileBytes(path)).object();
    fixture.insert(
        "logins",
        QJsonArray { QJsonObject { { "name", kSqlUser }, { "password", sqlPassword } },
                     QJsonObject { { "name", kDomainUser }, { "password", kDomainPassword }, { "windows", true } } });
    return fixture;
}

// Whether a table of NAV has a clustered primary key in the stand-in's saved catalogue.
inline bool clustered(const QJsonObject& state, const QString& table)
{
    return primaryKeyIn(state, table).value_or(QJsonObject())[QLatin1String("clustered")].toBool();
}

// The folders a login test writes to: saved settings and the application folder. The settings are
// kept under a title of the test program's own, never under the program's (on Windows the
// registry key of an installed copy), and on Linux in a configuration folder of the test's own.
// startTest() empties the store and gives each test an application folder of its own; on Windows
// the store is removed when the test program ends.
class LoginTestFolders
{
public:
    static QString settingsTitle() { return QStringLiteral("Quorvane ") + QCoreApplication::applicationName(); }
    // The saved settings, read the platform's own way.
    static std::unique_ptr<QSettings> saved()
    {
        return std::make_unique<QSettings>(QtSettingsStore(settingsTitle()).fileName(), QSettings::NativeFormat);
    }
    QString configHome() const { return m_configHome.path(); }
    QString applicationFolder() const { return m_applicationFolder->path(); }

    void startProgram()
    {
        QVERIFY(m_configHome.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
        const QString store = QtSettingsStore(settingsTitle()).fileName();
        QVERIFY2(store != QtSettingsStore(QStringLiteral("Quorvane")).fileName(), qPrintable(store));
#ifndef Q_OS_WIN
        QVERIFY2(store.startsWith(m_configHome.path()), qPrintable(store));
#endif
    }

    void startTest()
    {
        saved()->clear();
        m_applicationFolder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_applicationFolder->isValid());
    }

    void endTest()
    {
        m_applicationFolder.reset();
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }

#ifdef Q_OS_WIN
    ~LoginTestFolders()
    {
        QSettings(QtSettingsStore(settingsTitle()).fileName().section(QLatin1Char('\\'), 0, -2),
                  QSettings::NativeFormat)
            .remove(settingsTitle());
    }

    // The saved values, each marked " holds <text>" when it holds the text.
    QStringList settingsHolding(const QString& text) const
    {
        const std::unique_ptr<QSettings> settings = saved();
        QStringList names;
        for (const QString& key : settings->allKeys())
            names.append(
                key + (settings->value(key).toString().contains(text) ? QStringLiteral(" holds ") + text : QString()));
        return names;
    }
    static QStringList settingsStored()
    {
        return { "Settings/DB", "Settings/Server", "Settings/User" };
    }
#else
    // The files of the settings store, each marked " holds <text>" when it holds the text.
    QStringList settingsHolding(const QString& text) const
    {
        return filesBelow(m_configHome.path(), text);
    }
    static QStringList settingsStored()
    {
        return { settingsTitle() + QStringLiteral(".conf") };
    }
#endif

private:
    QTemporaryDir m_configHome;
    std::unique_ptr<QTemporaryDir> m_applicationFolder;
};

// The login window as the program builds it, over the real ODBC driver unless another connection
// factory is given, with its messages recorded instead of shown.
struct LoginUnderTest
{
    explicit LoginUnderTest(const QString& applicationFolder,
                            db::ConnectionFactory factory = db::odbcConnectionFactory())
        : platform { messages, settings, clock, std::move(factory), applicationFolder }
        , report(messages, applicationFolder)
        , form(platform, report, gstrConnectPass)
    { }

    RecordingMessageSink messages;
    QtSettingsStore settings { LoginTestFolders::settingsTitle() };
    const SystemClock clock;
    const Platform platform;
    const ErrorReport report;
    QString gstrConnectPass;
    frmLogin form;
};

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

// Fills the four login fields as the user does (the connection string is rebuilt on the way), then
// edits the built connection string by hand: the template always names port 1433, a stand-in on
// `port` listens elsewhere (0: left as built); `beforePassword` is typed in front of the password's
// keyword. Then presses CONNECT. Answers the connection string as it stood then.
inline QString connectAs(const frmLogin& form, const QString& server, const QString& database, const QString& user,
                         const QString& password, quint16 port, const QString& beforePassword = {})
{
    for (const auto& [name, text] : { std::pair { "txtServer", server }, { "txtDB", database }, { "txtUser", user } })
        form.findChild<QLineEdit*>(name)->setText(text);
    form.findChild<QLineEdit*>("txtPW")->clear();
    QTest::keyClicks(form.findChild<QLineEdit*>("txtPW"), password);
    auto* txtConnect = form.findChild<QPlainTextEdit*>("txtConnect");
    QString edited = txtConnect->toPlainText().replace(";Password=", beforePassword + QStringLiteral(";Password="));
    if (port != 0)
        edited.replace(",1433;", QStringLiteral(",%1;").arg(port));
    txtConnect->setPlainText(edited);
    QTest::mouseClick(form.findChild<QPushButton*>("cmdConnect"), Qt::LeftButton);
    return edited;
}

} // namespace quorvane::test
