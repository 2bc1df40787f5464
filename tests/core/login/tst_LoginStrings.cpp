#include "db/ErrorNumbers.h"
#include "login/ConnectString.h"
#include "login/DatabaseCheck.h"
#include "support/FakeConnection.h"

#include <QTest>
#include <stdexcept>

using namespace quorvane;

// The connection string built from the login window's fields, and what the database check makes of
// the failures no server in the end-to-end tests gives.
class tst_LoginStrings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void build_data()
    {
        // The texts of the server, database and user fields, and the string built from them. The login
        // window's tests meet empty fields and texts with blanks and separators.
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("expected");
        const auto built = [](const QString& server, const QString& database, const QString& user) {
            return QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%1,1433;Initial Catalog=%2;"
                                  "User ID=%3;Password=%PW%;")
                .arg(server, database, user);
        };
        QTest::newRow("later steps fill placeholders that earlier field texts bring in")
            << QStringList { "S%DB%-%USER%", "db_%USER%", "u" } << built("Sdb_u-u", "db_u", "u");
        QTest::newRow("inserted text not searched again by its own step, nor by a later one for %SERVER%")
            << QStringList { "%SERVER%", "%DB%x", "%SERVER%" } << built("%SERVER%", "%DB%x", "%SERVER%");
    }

    void build()
    {
        QFETCH(QStringList, fields);
        QTEST(BuildConnectionString(QString::fromUtf16(kConnectTemplate), fields[0], fields[1], fields[2]), "expected");
    }

    void withPassword_data()
    {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        // The end-to-end tests meet a plain and an empty password.
        const auto typed = [](const char* name, const char* password, const char* expected) {
            QTest::newRow(name) << QStringLiteral("User ID=u;Password=%PW%;") << QString(password) << QString(expected);
        };
        typed("semicolon quoted", "a;Server=evil", "User ID=u;Password=\"a;Server=evil\";");
        typed("single quote quoted", "it's", "User ID=u;Password=\"it's\";");
        typed("double quote doubled", "say \"hi\"", "User ID=u;Password=\"say \"\"hi\"\"\";");
        typed("leading blank quoted", " pw", "User ID=u;Password=\" pw\";");
        typed("trailing blank quoted", "pw ", "User ID=u;Password=\"pw \";");
        typed("a password holding the placeholder is not searched again", "%PW%", "User ID=u;Password=%PW%;");
        QTest::newRow("only inside the password's value, case-sensitive, in a manually edited text")
            << QString("Initial Catalog=%PW%;PWD = %PW%%PW%;x=%pw%;Application Name='a;%PW%';pwd=\"%PW%\";")
            << QString("k") << "Initial Catalog=%PW%;PWD = kk;x=%pw%;Application Name='a;%PW%';pwd=\"k\";";
    }

    void withPassword()
    {
        QFETCH(QString, shown);
        QFETCH(QString, password);
        QTEST(ConnectStringWithPassword(shown, password), "expected");
    }

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
    void encryptionRefusalReason()
    {
        const QString connect = QStringLiteral("Data Source=S;User ID=u;Password=pw;Use Encryption for Data=%1;");
        const QString givenUp = QStringLiteral("Unable to connect to data source");
        const QString unreachable = "\nUnable to connect: Adaptive Server is unavailable or does not exist";
        // Encryption asked and the server unreachable, or the login refused; encryption not asked.
        QCOMPARE(EncryptionRefusalReason(connect.arg("True"), Failure(db::kErrorFail, givenUp + unreachable)),
                 QString());
        QCOMPARE(EncryptionRefusalReason(connect.arg("True"), Failure(db::kErrorAuthenticationFailed, "Login failed.")),
                 QString());
        QCOMPARE(EncryptionRefusalReason(connect.arg("False"), Failure(db::kErrorFail, givenUp)), QString());
    }
};

QTEST_APPLESS_MAIN(tst_LoginStrings)
#include "tst_LoginStrings.moc"
