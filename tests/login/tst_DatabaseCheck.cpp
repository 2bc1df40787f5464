#include "db/ErrorNumbers.h"
#include "login/DatabaseCheck.h"
#include "support/FakeConnection.h"

#include <QTest>
#include <stdexcept>

using namespace quorvane;
using test::FakeDatabase;
using test::FakeResult;

namespace {

const QString kConnect = QStringLiteral("Provider=sqloledb;Data Source=S,1433;User ID=u;Password=p;");
const QString kQuery = QStringLiteral(
    "select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name");

enum class Fault { None, OnOpen, OnExecute, NotAFailure };

} // namespace

Q_DECLARE_METATYPE(Fault)

class tst_DatabaseCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void outcome_data();
    void outcome();
};

void tst_DatabaseCheck::outcome_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<qint32>("number");
    QTest::addColumn<int>("rows");
    QTest::addColumn<qint16>("code");
    QTest::addColumn<QString>("message");
    const QString notNavision = QStringLiteral("The selected database is not a valid Navision 4.0 Database");
    const QString unexpected = QStringLiteral("An unexpected error has occurred.");

    QTest::newRow("a matching user") << Fault::None << 0 << 2 << qint16(0) << QString();
    QTest::newRow("no matching user") << Fault::None << 0 << 0 << qint16(1) << notNavision;
    QTest::newRow("no per-user table") << Fault::OnExecute << db::kErrorNoTable << 0 << qint16(1) << notNavision;
    QTest::newRow("server unreachable") << Fault::OnOpen << db::kErrorFail << 0 << qint16(2)
                                        << QStringLiteral("Could not connect to the passed server.");
    QTest::newRow("login refused") << Fault::OnOpen << db::kErrorAuthenticationFailed << 0 << qint16(3)
                                   << QStringLiteral("The Login information entered was invalid.");
    QTest::newRow("server error number") << Fault::OnExecute << 229 << 0 << qint16(4) << unexpected;
    QTest::newRow("not a database failure") << Fault::NotAFailure << 0 << 0 << qint16(4) << unexpected;
}

void tst_DatabaseCheck::outcome()
{
    QFETCH(Fault, fault);
    QFETCH(qint32, number);
    QFETCH(int, rows);
    QFETCH(qint16, code);
    QFETCH(QString, message);

    FakeDatabase database;
    if (fault == Fault::OnOpen)
        database.openFailure = Failure(number, QStringLiteral("refused"));
    database.respond = [&](const QString&) -> FakeResult {
        if (fault == Fault::NotAFailure)
            throw std::runtime_error("driver fault");
        FakeResult result;
        for (int row = 0; row < rows; ++row)
            result.rows.append({ QStringLiteral("navuser"), QStringLiteral("0x01") });
        if (fault == Fault::OnExecute)
            result.failure = Failure(number, QStringLiteral("failed"));
        return result;
    };

    QCOMPARE(ValidateDatabase(database.factory(), kConnect), code);
    QCOMPARE(CheckResultMessage(code), message);
    QCOMPARE(database.events.value(0), QStringLiteral("OPEN ") + kConnect);
    if (fault != Fault::OnOpen)
        QCOMPARE(database.executed(), QStringList { kQuery });
    // The check's own connection is closed after a completed query.
    QCOMPARE(database.events.contains(QStringLiteral("CLOSE")), fault == Fault::None);
}

QTEST_APPLESS_MAIN(tst_DatabaseCheck)
#include "tst_DatabaseCheck.moc"
