#include "login/ConnectString.h"

#include <QTest>

using namespace quorvane;

namespace {

QString built(const QString& server, const QString& database, const QString& user)
{
    return QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%1,1433;Initial Catalog=%2;"
                          "User ID=%3;Password=%PW%;")
        .arg(server, database, user);
}

} // namespace

class tst_ConnectString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void build_data()
    {
        // The texts of the server, database and user fields, and the string built from them. The login
        // window's tests meet empty fields and texts with blanks and separators.
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("expected");
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
        const QString shown = QStringLiteral("User ID=u;Password=%PW%;");
        QTest::newRow("inner blank and equals sign as typed")
            << shown << QString("a b=c") << "User ID=u;Password=a b=c;";
        QTest::newRow("semicolon quoted")
            << shown << QString("a;Server=evil") << "User ID=u;Password=\"a;Server=evil\";";
        QTest::newRow("single quote quoted") << shown << QString("it's") << "User ID=u;Password=\"it's\";";
        QTest::newRow("double quote doubled")
            << shown << QString("say \"hi\"") << "User ID=u;Password=\"say \"\"hi\"\"\";";
        QTest::newRow("leading blank quoted") << shown << QString(" pw") << "User ID=u;Password=\" pw\";";
        QTest::newRow("trailing blank quoted") << shown << QString("pw ") << "User ID=u;Password=\"pw \";";
        QTest::newRow("a password holding the placeholder is not searched again")
            << shown << QString("%PW%") << "User ID=u;Password=%PW%;";
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
};

QTEST_APPLESS_MAIN(tst_ConnectString)
#include "tst_ConnectString.moc"
