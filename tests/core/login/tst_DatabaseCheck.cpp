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
    // The outcomes a real server gives are met by the login window's end-to-end tests; these are the
    // failures of the check query that no server there gives.
    void unexpectedOutcome_data()
    {
        QTest::addColumn<qint32>("queryFailure"); // -1: an exception that is no database failure
        QTest::newRow("server error number") << 229;
        QTest::newRow("not a database failure") << -1;
    }

    void unexpectedOutcome()
    {
        QFETCH(qint32, queryFailure);
        test::FakeDatabase database;
        database.respond = [&](const QString&) {
            if (queryFailure == -1)
                throw std::runtime_error("driver fault");
            return test::FakeResult { {}, Failure(queryFailure, "failed") };
        };

        QString refusal;
        Failure failure(0, QString());
        const qint16 code = ValidateDatabase(database.factory(), QStringLiteral("Data Source=S"), &refusal, &failure);
        QCOMPARE(code, kCheckUnexpected);
        QCOMPARE(failure.number(), queryFailure == -1 ? 0 : queryFailure);
        QCOMPARE(CheckResultMessage(code, refusal), QStringLiteral("An unexpected error has occurred."));
    }

    void encryptionRefusalReason_data()
    {
        QTest::addColumn<QString>("useEncryption"); // the keyword's value
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
    }

    void encryptionRefusalReason()
    {
        QFETCH(QString, useEncryption);
        QFETCH(qint32, number);
        QFETCH(QString, description);
        const QString connect = QStringLiteral("Data Source=S;User ID=u;Password=Zq9x;Use Encryption for Data=%1;");

        const QString reason = EncryptionRefusalReason(connect.arg(useEncryption), Failure(number, description));
        QTEST(!reason.isEmpty(), "explained");
        QVERIFY(!reason.contains(QStringLiteral("Zq9x")));
    }
};

QTEST_APPLESS_MAIN(tst_DatabaseCheck)
#include "tst_DatabaseCheck.moc"
