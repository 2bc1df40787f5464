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
    QCOMPARE(ValidateDatabase(database.factory(), connect, &refusal), code);
    QCOMPARE(CheckResultMessage(code, refusal), message);
    QCOMPARE(database.events.value(0), "OPEN " + connect);
    QCOMPARE(database.executed(),
             openFailure != 0 ? QStringList()
                              : QStringList { "select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b "
                                              "Where a.sid = b.sid order by a.name" });
    // The check's own connection is closed after a completed query.
    QCOMPARE(database.events.contains(QStringLiteral("CLOSE")), openFailure == 0 && queryFailure == 0);
}

QTEST_APPLESS_MAIN(tst_DatabaseCheck)
#include "tst_DatabaseCheck.moc"
