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

    // The reason is given only where the driver names no cause and encryption was asked for: the
    // end-to-end test of the releases meets that on SQL Server 2000; these are the failures that
    // have a cause of their own.
    void encryptionRefusalReason_data()
    {
        QTest::addColumn<QString>("useEncryption"); // the keyword's value
        QTest::addColumn<qint32>("number");
        QTest::addColumn<QString>("description");
        const QString givenUp = QStringLiteral("Unable to connect to data source");
        const QString unreachable
            = givenUp + QStringLiteral("\nUnable to connect: Adaptive Server is unavailable or does not exist");
        QTest::newRow("encryption asked, server unreachable") << "True" << db::kErrorFail << unreachable;
        QTest::newRow("encryption asked, login refused")
            << "True" << db::kErrorAuthenticationFailed << QStringLiteral("Login failed for user 'u'.");
        QTest::newRow("encryption not asked") << "False" << db::kErrorFail << givenUp;
    }

    void encryptionRefusalReason()
    {
        QFETCH(QString, useEncryption);
        QFETCH(qint32, number);
        QFETCH(QString, description);
        const QString connect = QStringLiteral("Data Source=S;User ID=u;Password=pw;Use Encryption for Data=%1;");
        QCOMPARE(EncryptionRefusalReason(connect.arg(useEncryption), Failure(number, description)), QString());
    }
};

QTEST_APPLESS_MAIN(tst_DatabaseCheck)
#include "tst_DatabaseCheck.moc"
