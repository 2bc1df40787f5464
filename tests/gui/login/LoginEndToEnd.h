#pragma once

#include "WhileOpen.h"
#include "db/OdbcConnection.h"
#include "support/Clock.h"
#include "support/ErrorReport.h"
#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "widgets/Platform.h"
#include "keys/KeyListModel.h"
#include "main/frmMain.h"
#include "support/FilesHolding.h"
#include "support/RecordingMessageSink.h"
#include "support/StandinProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
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

// The SQL login (with the password given) and the domain account; NAV is a Navision database whose
// per-user table holds both users, with three keyed tables of which adding the key to
// CRONUS$Ledger fails; PLAIN has no per-user table, and ORPHANED has one whose only row belongs to
// no user of the database.
inline QJsonObject navCatalogue(const QString& sqlPassword = kSqlPassword)
{
    QJsonObject fixture = QJsonDocument::fromJson(R"({"databases": [
  {"name": "NAV",
   "users": [{"name": "navuser", "sid": "0x0A0B"},
             {"name": "CORP\\anna", "sid": "0x010500000000000515000000A1B2C3D4E5F60718293A4B5C51040000"}],
   "navision_user_table": {"sids": ["0x0A0B", "0x010500000000000515000000A1B2C3D4E5F60718293A4B5C51040000"]},
   "tables": [
     {"name": "CRONUS$Customer", "columns": [{"name": "No_", "nullable": false}],
      "primary_key": {"name": "CRONUS$Customer$0", "columns": ["No_"]}},
     {"name": "CRONUS$Ledger", "columns": [{"name": "No_", "nullable": false}],
      "primary_key": {"name": "CRONUS$Ledger$0", "columns": ["No_"]}},
     {"name": "CRONUS$Sales Line", "columns": [{"name": "Document No_", "nullable": false}, {"name": "Line No_", "nullable": false}],
      "primary_key": {"name": "CRONUS$Sales Line$0", "columns": ["Document No_", "Line No_"]}}]},
  {"name": "PLAIN", "users": [{"name": "navuser", "sid": "0x0A0B"}]},
  {"name": "ORPHANED", "users": [{"name": "navuser", "sid": "0x0A0B"}], "navision_user_table": {"sids": ["0x0C0D"]}}],
 "faults": [{"database": "NAV", "table": "CRONUS$Ledger", "statement": "add",
             "error": {"number": 1505, "message": "The CREATE UNIQUE INDEX statement terminated."}}]})")
                              .object();
    fixture.insert(
        "logins",
        QJsonArray { QJsonObject { { "name", kSqlUser }, { "password", sqlPassword } },
                     QJsonObject { { "name", kDomainUser }, { "password", kDomainPassword }, { "windows", true } } });
    return fixture;
}

// Whether a table of NAV has a clustered primary key in the stand-in's saved catalogue.
inline bool clustered(const QJsonObject& state, const QString& table)
{
    for (const QJsonValue& entry : state[QLatin1String("databases")][0][QLatin1String("tables")].toArray())
        if (entry[QLatin1String("name")].toString() == table)
            return entry[QLatin1String("primary_key")][QLatin1String("clustered")].toBool();
    return false;
}

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

// The login window as the program builds it, over the real ODBC driver, with its messages
// recorded instead of shown.
struct LoginUnderTest
{
    explicit LoginUnderTest(const QString& applicationFolder)
        : platform { messages, settings, clock, db::odbcConnectionFactory(), applicationFolder }
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

// Fills the four login fields as the user does (the connection string is rebuilt on the way), then
// edits the built connection string by hand: the template always names port 1433, a stand-in on
// `port` listens elsewhere (0: left as built); `beforePassword` is typed in front of the password's
// keyword. Then presses CONNECT. Answers the connection string as it stood then.
inline QString connectAs(const frmLogin& form, const QString& server, const QString& database, const QString& user,
                         const QString& password, quint16 port, const QString& beforePassword = {})
{
    form.findChild<QLineEdit*>("txtServer")->setText(server);
    form.findChild<QLineEdit*>("txtDB")->setText(database);
    form.findChild<QLineEdit*>("txtUser")->setText(user);
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

// In the main window, ticks every table listed and runs the rebuild with the activity log on.
inline void rebuildEveryTable(frmMain& window)
{
    auto* items = qobject_cast<KeyListModel*>(window.findChild<QTreeView*>("lvTables")->model());
    QVERIFY(items != nullptr);
    for (int row = 0; row < items->itemCount(); ++row)
        QVERIFY(items->setData(items->index(row, 0), Qt::Checked, Qt::CheckStateRole));
    window.findChild<QCheckBox*>("chkLog")->setChecked(true);
    QTest::mouseClick(window.findChild<QPushButton*>("cmdExecute"), Qt::LeftButton);
    QTRY_VERIFY(!window.isRunInProgress());
}

} // namespace quorvane::test
