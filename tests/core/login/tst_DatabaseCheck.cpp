#include "db/ErrorNumbers.h"
#include "login/DatabaseCheck.h"
#include "support/FakeConnection.h"

#include <QTest>
#include <stdexcept>

using namespace quorvane;

class tst_DatabaseCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcome_data();
    void outcome();
    void failureRecordedOnlyWhenTheMessageCannotTellWhy_data();
    void failureRecordedOnlyWhenTheMessageCannotTellWhy();
    void encryptionRefusalReason_data();
    void encryptionRefusalReason();
};

void tst_DatabaseCheck::outcome_data()
{
    // A failure number on opening, or on the query (-1: an exception that is no database failure),
    // and the number of matching users the query finds.
    QTest::addColumn<qint32>("openFailure");
    QTest::addColumn<qint32>("queryFailure");
    QTest::addColumn<int>("rows");
    QTest::addColumn<qint16>("code");
    QTest::addColumn<QString>("message");
    const QString notNavision = QStringLiteral("The selected database is not a valid Navision 4.0 Database");
    const QString unexpected = QStringLiteral("An unexpected error has occurred.");
    QTest::newRow("a matching user") << 0 << 0 << 2 << qint16(0) << QString();
    QTest::newRow("no matching user") << 0 << 0 << 0 << qint16(1) << notNavision;
    QTest::newRow("no per-user table") << 0 << db::kErrorNoTable << 0 << qint16(1) << notNavision;
    QTest::newRow("server unreachable") << db::kErrorFail << 0 << 0 << qint16(2)
                                        << QStringLiteral("Could not connect to the passed server.");
    QTest::newRow("login refused") << db::kErrorAuthenticationFailed << 0 << 0 << qint16(3)
                                   << QStringLiteral("The Login information entered was invalid.");
    QTest::newRow("server error number") << 0 << 229 << 0 << qint16(4) << unexpected;
    QTest::newRow("not a database failure") << 0 << -1 << 0 << qint16(4) << unexpected;
    // The reason follows on the next line only for a connection string that cannot be used.
    QTest::newRow("connection string refused")
        << db::kErrorBadConnectionString << 0 << 0 << qint16(4) << unexpected + QStringLiteral("\r\nrefused");
}

void tst_DatabaseCheck::outcome()
{
    QFETCH(qint32, openFailure);
    QFETCH(qint32, queryFailure);
    QFETCH(int, rows);
    QFETCH(qint16, code);
    QFETCH(QString, message);
    const QString connect = QStringLiteral("Provider=sqloledb;Data Source=S,1433;User ID=u;Password=p;");
    test::FakeDatabase database;
    if (openFailure != 0)
        database.openFailure = Failure(openFailure, QStringLiteral("refused"));
    database.respond = [&](const QString&) {
        if (queryFailure == -1)
            throw std::runtime_error("driver fault");
        const auto failure = queryFailure != 0 ? std::optional(Failure(queryFailure, "failed")) : std::nullopt;
        return test::FakeResult { QList<QStringList>(rows, { "navuser", "0x01" }), failure };
    };

    QString refusal;
    Failure failure(0, QString());
    QCOMPARE(ValidateDatabase(database.factory(), connect, &refusal, &failure), code);
    QCOMPARE(failure.number(), openFailure != 0 ? openFailure : (queryFailure == -1 ? 0 : queryFailure));
    QCOMPARE(CheckResultMessage(code, refusal), message);
    QCOMPARE(database.events.value(0), "OPEN " + connect);
    QCOMPARE(database.executed(),
             openFailure != 0 ? QStringList()
                              : QStringList { "select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b "
                                              "Where a.sid = b.sid order by a.name" });
    // The check's own connection is closed after a completed query.
    QCOMPARE(database.events.contains(QStringLiteral("CLOSE")), openFailure == 0 && queryFailure == 0);
}

void tst_DatabaseCheck::failureRecordedOnlyWhenTheMessageCannotTellWhy_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("connect");
    QTest::addColumn<bool>("recorded");

    const QString built = QStringLiteral("Provider=sqloledb;Data Source=%1,1433;User ID=sa;Password=pw;");
    QTest::newRow("server") << "NAVSRV" << built.arg("NAVSRV") << false;
    QTest::newRow("server and port") << "NAVSRV,2433" << built.arg("NAVSRV,2433") << false;
    QTest::newRow("named instance") << "NAVSRV\\NAV" << built.arg("NAVSRV\\NAV") << true;
    QTest::newRow("Integrated Security") << "NAVSRV" << built.arg("NAVSRV") + "integrated security=SSPI;" << true;
    QTest::newRow("Trusted_Connection") << "NAVSRV" << built.arg("NAVSRV") + "Trusted_Connection=yes;" << true;
}

void tst_DatabaseCheck::failureRecordedOnlyWhenTheMessageCannotTellWhy()
{
    QFETCH(QString, server);
    QFETCH(QString, connect);
    QTEST(NeedsFailureRecord(server, connect), "recorded");
}

void tst_DatabaseCheck::encryptionRefusalReason_data()
{
    QTest::addColumn<QString>("useEncryption"); // the keyword's value; empty: not given
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("explained");
    const QString givenUp = QStringLiteral("Unable to connect to data source");
    const QString unreachable
        = givenUp + QStringLiteral("\nUnable to connect: Adaptive Server is unavailable or does not exist");
    QTest::newRow("encryption asked, connection given up") << "True" << db::kErrorFail << givenUp << true;
    QTest::newRow("encryption asked, server unreachable") << "True" << db::kErrorFail << unreachable << false;
    QTest::newRow("encryption asked, login refused")
        << "True" << db::kErrorAuthenticationFailed << QStringLiteral("Login failed for user 'u'.") << false;
    QTest::newRow("encryption not asked") << "False" << db::kErrorFail << givenUp << false;
    QTest::newRow("encryption keyword absent") << "" << db::kErrorFail << givenUp << false;
}

void tst_DatabaseCheck::encryptionRefusalReason()
{
    QFETCH(QString, useEncryption);
    QFETCH(qint32, number);
    QFETCH(QString, description);
    QFETCH(bool, explained);
    const QString connect = QStringLiteral("Provider=sqloledb;Data Source=S,1433;User ID=u;Password=Zq9x;")
        + (useEncryption.isEmpty() ? QString() : QStringLiteral("Use Encryption for Data=%1;").arg(useEncryption));

    const QString reason = EncryptionRefusalReason(connect, Failure(number, description));
    QCOMPARE(reason.isEmpty(), !explained);
    QVERIFY(!reason.contains(QStringLiteral("Zq9x")));
}

QTEST_APPLESS_MAIN(tst_DatabaseCheck)
#include "tst_DatabaseCheck.moc"
