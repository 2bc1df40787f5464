// The program against every SQL Server release the stand-in plays, through the real FreeTDS ODBC
// driver: the whole job from CONNECT to a fix run, and what travels on the wire at login.
#include "LoginEndToEnd.h"
#include "WhileOpen.h"
#include "db/OdbcConnection.h"
#include "log/ErrorReport.h"
#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "support/ClearPackets.h"
#include "support/StandinWindow.h"
#include "support/WireRecorder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>

using namespace quorvane;
using namespace quorvane::test;

namespace {

const QString kPassword = QStringLiteral("Nav#2006");
const QString kDomainUser = QStringLiteral("CORP\\anna");
const QString kDomainPassword = QStringLiteral("Wq4;Anna 'Dom\"2006");
const QString kRefusalReason
    = QStringLiteral("The server cannot encrypt the connection as \"Use Encryption for Data=True\" asks: it offers no "
                     "encryption (as SQL Server 2000 does) or none this computer accepts.");
const QString kUseEncryption = QStringLiteral("Use Encryption for Data=True;");
const QString kCheckQuery = QStringLiteral(
    "select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name");

// A Navision database NAV with three keyed tables, reached by a SQL login and a domain account;
// adding the key to CRONUS$Ledger fails.
QJsonObject catalogue()
{
    QJsonObject fixture = QJsonDocument::fromJson(R"({
 "logins": [{"name": "navuser", "password": "Nav#2006"}],
 "databases": [{"name": "NAV",
   "users": [{"name": "navuser", "sid": "0x0A0B"},
             {"name": "CORP\\anna", "sid": "0x010500000000000515000000A1B2C3D4E5F60718293A4B5C51040000"}],
   "navision_user_table": {"sids": ["0x0A0B", "0x010500000000000515000000A1B2C3D4E5F60718293A4B5C51040000"]},
   "tables": [
     {"name": "CRONUS$Customer", "columns": [{"name": "No_", "nullable": false}],
      "primary_key": {"name": "CRONUS$Customer$0", "columns": ["No_"]}},
     {"name": "CRONUS$Ledger", "columns": [{"name": "No_", "nullable": false}],
      "primary_key": {"name": "CRONUS$Ledger$0", "columns": ["No_"]}},
     {"name": "CRONUS$Sales Line", "columns": [{"name": "Document No_", "nullable": false}, {"name": "Line No_", "nullable": false}],
      "primary_key": {"name": "CRONUS$Sales Line$0", "columns": ["Document No_", "Line No_"]}}]}],
 "faults": [{"database": "NAV", "table": "CRONUS$Ledger", "statement": "add",
             "error": {"number": 1505, "message": "The CREATE UNIQUE INDEX statement terminated."}}]})")
                              .object();
    QJsonArray logins = fixture[QLatin1String("logins")].toArray();
    logins.append(QJsonObject { { "name", kDomainUser }, { "password", kDomainPassword }, { "windows", true } });
    fixture.insert(QLatin1String("logins"), logins);
    return fixture;
}

QByteArray utf16(const QString& text)
{
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

// The password as LOGIN7 carries it without TLS: each byte's halves swapped, then XOR 0xA5.
QByteArray obfuscated(const QString& password)
{
    QByteArray bytes = utf16(password);
    for (char& byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        byte = static_cast<char>(((value << 4) | (value >> 4)) ^ 0xA5);
    }
    return bytes;
}

bool clustered(const QJsonObject& state, const QString& table)
{
    const QJsonObject databaseState = state[QLatin1String("databases")].toArray().first().toObject();
    for (const QJsonValue& entry : databaseState[QLatin1String("tables")].toArray())
        if (entry[QLatin1String("name")].toString() == table)
            return entry[QLatin1String("primary_key")][QLatin1String("clustered")].toBool();
    return false;
}

} // namespace

class tst_releases_e2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_folders.startProgram(); }
    void init() { m_folders.startTest(); }
    void cleanup() { m_folders.endTest(); }
    void wholeJobOnEveryRelease_data();
    void wholeJobOnEveryRelease();
    void whatTravelsOnTheWire_data();
    void whatTravelsOnTheWire();

private:
    // CONNECT in the login window to the port given as the user given; answers the connection
    // string handed on.
    QString connectThroughLogin(quint16 port, const QString& user, const QString& password,
                                const QString& addedKeywords, RecordingMessageSink& messages);

    LoginTestFolders m_folders;
};

QString tst_releases_e2e::connectThroughLogin(quint16 port, const QString& user, const QString& password,
                                              const QString& addedKeywords, RecordingMessageSink& messages)
{
    QtSettingsStore settings(LoginTestFolders::settingsTitle());
    const SystemClock clock;
    const Platform platform { messages, settings, clock, db::odbcConnectionFactory(), m_folders.applicationFolder() };
    const ErrorReport report(messages, m_folders.applicationFolder());
    QString gstrConnectPass;
    frmLogin form(platform, report, gstrConnectPass);
    whileOpen(form, false, [&] { connectAs(form, QStringLiteral("NAV"), user, password, port, addedKeywords); });
    return gstrConnectPass;
}

void tst_releases_e2e::wholeJobOnEveryRelease_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("addedKeywords");
    // Whether anything but PRELOGIN went outside TLS: without full encryption the fix run's
    // transaction-manager requests (TDS 7.2 and later) are among the packets in the clear.
    QTest::addColumn<bool>("clearAfterPrelogin");
    QTest::addColumn<bool>("transactionRequestsInClear");
    QTest::newRow("2000") << "2000" << QString() << true << false;
    QTest::newRow("2005") << "2005" << QString() << true << true;
    QTest::newRow("2008r2") << "2008r2" << QString() << true << true;
    QTest::newRow("2016") << "2016" << QString() << true << true;
    QTest::newRow("2022") << "2022" << QString() << false << false;
    QTest::newRow("2016, encryption for data") << "2016" << kUseEncryption << false << false;
}

// CONNECT with the Navision check, the list, a click that shows a key's columns and a fix run over
// three tables of which one is refused, through a relay that records what the client sends.
void tst_releases_e2e::wholeJobOnEveryRelease()
{
    QFETCH(QString, release);
    QFETCH(QString, addedKeywords);
    QFETCH(bool, clearAfterPrelogin);
    QFETCH(bool, transactionRequestsInClear);
    StandinProcess standin(catalogue(), StandinProcess::releaseOptions(release));
    QVERIFY(standin.started());
    const WireRecorder wire(standin.port());
    QVERIFY(wire.port() != 0);
    RecordingMessageSink loginMessages;
    const QString connectString = connectThroughLogin(wire.port(), kLoginName, kPassword, addedKeywords, loginMessages);
    QCOMPARE(loginMessages.texts, QStringList {});
    QVERIFY(!connectString.isEmpty());

    StandinWindow ui;
    QVERIFY(ui.start(connectString));
    QCOMPARE(ui.rows(),
             (QStringList { "CRONUS$Customer$0 | CRONUS$Customer | NAV", "CRONUS$Ledger$0 | CRONUS$Ledger | NAV",
                            "CRONUS$Sales Line$0 | CRONUS$Sales Line | NAV" }));
    ui.clickRow(3);
    QCOMPARE(ui.fieldLines(), (QStringList { "Document No_", "Line No_" }));

    ui.runOn({ 1, 2, 3 });
    QTRY_VERIFY_WITH_TIMEOUT(!ui.window().isRunInProgress(), 30000);
    QCOMPARE(ui.messages.texts, QStringList { "An Error has occurred, Please see the ErrorLog.txt file for details." });
    QVERIFY(ui.errorLog().contains(QStringLiteral("\r\nNumber: 1505\r\n")));
    const QJsonObject state = standin.state();
    QVERIFY(clustered(state, QStringLiteral("CRONUS$Customer")));
    QVERIFY(!clustered(state, QStringLiteral("CRONUS$Ledger")));
    QVERIFY(clustered(state, QStringLiteral("CRONUS$Sales Line")));

    bool sawClear = false;
    bool sawTransactionRequest = false;
    for (const QByteArray& connection : wire.connectionsFromClients()) {
        const auto types = clearPacketTypes(connection);
        QVERIFY(types.has_value());
        QVERIFY(!types->isEmpty());
        QCOMPARE(types->first(), quint8(0x12));
        sawClear = sawClear || types->count(quint8(0x12)) != types->size();
        sawTransactionRequest = sawTransactionRequest || types->contains(quint8(0x0E));
    }
    QCOMPARE(sawClear, clearAfterPrelogin);
    QCOMPARE(sawTransactionRequest, transactionRequestsInClear);
}

void tst_releases_e2e::whatTravelsOnTheWire_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("addedKeywords");
    QTest::addColumn<QString>("message"); // empty: connected
    QTest::addColumn<bool>("obfuscatedPasswordSent"); // the LOGIN7 form outside TLS
    QTest::addColumn<bool>("checkQuerySent"); // the check query's text outside TLS
    // By default the driver asks for encryption where the server offers it: the login travels in
    // TLS, and the rest in the clear unless the server forces encryption.
    QTest::newRow("2000") << "2000" << kLoginName << kPassword << QString() << QString() << true << true;
    QTest::newRow("2005") << "2005" << kLoginName << kPassword << QString() << QString() << false << true;
    QTest::newRow("2008r2") << "2008r2" << kLoginName << kPassword << QString() << QString() << false << true;
    QTest::newRow("2016") << "2016" << kLoginName << kPassword << QString() << QString() << false << true;
    QTest::newRow("2022") << "2022" << kLoginName << kPassword << QString() << QString() << false << false;
    // Encryption for the data: everything in TLS, or no connection at all.
    const QString refused = kNoServer + QStringLiteral("\r\n") + kRefusalReason;
    QTest::newRow("2000, encryption for data")
        << "2000" << kLoginName << kPassword << kUseEncryption << refused << false << false;
    QTest::newRow("2005, encryption for data")
        << "2005" << kLoginName << kPassword << kUseEncryption << QString() << false << false;
    QTest::newRow("2008r2, encryption for data")
        << "2008r2" << kLoginName << kPassword << kUseEncryption << QString() << false << false;
    QTest::newRow("2016, encryption for data")
        << "2016" << kLoginName << kPassword << kUseEncryption << QString() << false << false;
    QTest::newRow("2022, encryption for data")
        << "2022" << kLoginName << kPassword << kUseEncryption << QString() << false << false;
    // A domain account logs in with NTLM, which never sends the password, TLS or not.
    QTest::newRow("2000, domain login") << "2000" << kDomainUser << kDomainPassword << QString() << QString() << false
                                        << true;
    QTest::newRow("2016, domain login") << "2016" << kDomainUser << kDomainPassword << QString() << QString() << false
                                        << true;
}

// A relay between the driver and the stand-in records what the client sends during CONNECT.
void tst_releases_e2e::whatTravelsOnTheWire()
{
    QFETCH(QString, release);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, addedKeywords);
    QFETCH(QString, message);
    QFETCH(bool, obfuscatedPasswordSent);
    QFETCH(bool, checkQuerySent);
    StandinProcess standin(catalogue(), StandinProcess::releaseOptions(release));
    QVERIFY(standin.started());
    const WireRecorder wire(standin.port());
    QVERIFY(wire.port() != 0);

    RecordingMessageSink messages;
    const QString connectString = connectThroughLogin(wire.port(), user, password, addedKeywords, messages);

    QCOMPARE(messages.texts, message.isEmpty() ? QStringList() : QStringList { message });
    QCOMPARE(connectString.isEmpty(), !message.isEmpty());
    const QByteArray sent = wire.fromClients();
    QVERIFY(!sent.isEmpty());
    QVERIFY(!sent.contains(utf16(password)));
    QVERIFY(!sent.contains(password.toUtf8()));
    QCOMPARE(sent.contains(obfuscated(password)), obfuscatedPasswordSent);
    QCOMPARE(sent.contains(utf16(kCheckQuery)), checkQuerySent);
    // The check reached the server whenever the login window let the user in.
    QCOMPARE(standin.sqlTexts().contains(kCheckQuery), message.isEmpty());
}

QTEST_MAIN(tst_releases_e2e)
#include "tst_releases_e2e.moc"
