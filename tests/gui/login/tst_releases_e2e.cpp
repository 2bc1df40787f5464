// The program against every SQL Server release the stand-in plays, through the real FreeTDS ODBC
// driver: what travels on the wire at login, and the whole job from CONNECT to a fix run.
#include "LoginEndToEnd.h"
#include "support/StandinWindow.h"

#include <algorithm>

using namespace quorvane;
using namespace quorvane::test;

namespace {

const QString kRefusalReason
    = QStringLiteral("The server cannot encrypt the connection as \"Use Encryption for Data=True\" asks: it offers no "
                     "encryption (as SQL Server 2000 does) or none this computer accepts.");
const QString kUseEncryption = QStringLiteral(";Use Encryption for Data=True;Trust Server Certificate=True");
const QString kCheckQuery = QStringLiteral(
    "select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name");

// Whether any request the stand-in received outside TLS passes the test.
template <typename Test> bool anyInClear(const QJsonArray& requests, const Test& test)
{
    return std::any_of(requests.begin(), requests.end(), [&](const QJsonValue& request) {
        return !request[QLatin1String("encrypted")].toBool() && test(request.toObject());
    });
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

private:
    LoginTestFolders m_folders;
};

void tst_releases_e2e::wholeJobOnEveryRelease_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("addedKeywords");
    QTest::addColumn<QString>("message"); // empty: connected
    // A LOGIN7 with the password (in its TDS obfuscation) outside TLS.
    QTest::addColumn<bool>("obfuscatedPasswordSent");
    // The check query's text outside TLS, that is, anything but PRELOGIN and the login in the clear.
    QTest::addColumn<bool>("checkQuerySent");
    // By default the driver asks for encryption where the server offers it: the login travels in
    // TLS, and the rest in the clear unless the server forces encryption. 2005 and 2008 R2 take
    // the path of 2016, and so does 2022 with encryption for the data.
    QTest::newRow("2000") << "2000" << kSqlUser << kSqlPassword << QString() << QString() << true << true;
    QTest::newRow("2016") << "2016" << kSqlUser << kSqlPassword << QString() << QString() << false << true;
    QTest::newRow("2022") << "2022" << kSqlUser << kSqlPassword << QString() << QString() << false << false;
    // Encryption for the data: everything in TLS, or no connection at all.
    QTest::newRow("2000, encryption for data") << "2000" << kSqlUser << kSqlPassword << kUseEncryption
                                               << kNoServer + QStringLiteral("\r\n") + kRefusalReason << false << false;
    QTest::newRow("2016, encryption for data")
        << "2016" << kSqlUser << kSqlPassword << kUseEncryption << QString() << false << false;
    // A domain account logs in with NTLM, which never sends the password, TLS or not.
    for (const char* release : { "2000", "2016" })
        QTest::addRow("%s, domain login", release)
            << release << kDomainUser << kDomainPassword << QString() << QString() << false << true;
}

// CONNECT in the login window, with the stand-in recording what arrived outside TLS; then the list,
// a click that shows a key's columns and a fix run over three tables of which one is refused.
void tst_releases_e2e::wholeJobOnEveryRelease()
{
    QFETCH(QString, release);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, addedKeywords);
    QFETCH(QString, message);
    QFETCH(bool, obfuscatedPasswordSent);
    QFETCH(bool, checkQuerySent);
    StandinProcess standin(navCatalogue(), StandinProcess::releaseOptions(release));
    QVERIFY(standin.started());
    QString connectString;
    {
        LoginUnderTest login(m_folders.applicationFolder());
        whileOpen(login.form, false, [&] {
            connectAs(login.form, QStringLiteral("127.0.0.1"), QStringLiteral("NAV"), user, password, standin.port(),
                      addedKeywords);
        });
        QCOMPARE(login.messages.texts, message.isEmpty() ? QStringList() : QStringList { message });
        connectString = login.gstrConnectPass;
    }
    // The password crosses only in a SQL login's LOGIN7 (NTLM never sends it), and in the clear
    // only when that LOGIN7 arrived outside TLS; no SQL text carries it.
    const QJsonArray requests = standin.requests();
    QVERIFY(!standin.sqlTexts().join(QChar()).contains(password));
    QCOMPARE(
        anyInClear(requests, [](const QJsonObject& r) { return r[QLatin1String("login")] == QLatin1String("sql"); }),
        obfuscatedPasswordSent);
    QCOMPARE(anyInClear(requests, [](const QJsonObject& r) { return r[QLatin1String("sql")] == kCheckQuery; }),
             checkQuerySent);
    if (!message.isEmpty())
        return;

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
    for (const QString table : { "CRONUS$Customer", "CRONUS$Ledger", "CRONUS$Sales Line" })
        QCOMPARE(clustered(state, table), table != QLatin1String("CRONUS$Ledger"));

    // Whether anything but PRELOGIN went outside TLS on any connection; without full encryption the
    // fix run's transaction-manager requests (TDS 7.2 and later) are among the requests in the clear.
    const QJsonArray all = standin.requests();
    QCOMPARE(anyInClear(all, [](const QJsonObject&) { return true; }), checkQuerySent);
    QCOMPARE(anyInClear(all, [](const QJsonObject& r) { return r.contains(QLatin1String("transaction_request")); }),
             checkQuerySent && release != QLatin1String("2000"));
}

QTEST_MAIN(tst_releases_e2e)
#include "tst_releases_e2e.moc"
