#include "login/ConnectString.h"

#include <QTest>

using namespace quorvane;

class tst_ConnectString : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void build_data();
    void build();
    void withPassword_data();
    void withPassword();
};

void tst_ConnectString::build_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("expected");
    const QString tail = QStringLiteral("Password=%PW%;");
    const QString head = QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=");

    QTest::newRow("empty fields remove their placeholders")
        << QString() << QString() << QString() << head + ",1433;Initial Catalog=;User ID=;" + tail;
    QTest::newRow("all fields") << "SRV01"
                                << "NAV"
                                << "navuser" << head + "SRV01,1433;Initial Catalog=NAV;User ID=navuser;" + tail;
    QTest::newRow("later steps fill placeholders that a server text brings in")
        << "S%DB%-%USER%"
        << "NAV"
        << "u" << head + "SNAV-u,1433;Initial Catalog=NAV;User ID=u;" + tail;
    QTest::newRow("a user placeholder in the database text is filled")
        << "S"
        << "db_%USER%"
        << "me" << head + "S,1433;Initial Catalog=db_me;User ID=me;" + tail;
    QTest::newRow("the server placeholder in later fields stays as typed")
        << "S"
        << "%SERVER%"
        << "%SERVER%" << head + "S,1433;Initial Catalog=%SERVER%;User ID=%SERVER%;" + tail;
    QTest::newRow("an inserted text is not searched again by its own step")
        << "%SERVER%"
        << "%DB%x"
        << "%USER%" << head + "%SERVER%,1433;Initial Catalog=%DB%x;User ID=%USER%;" + tail;
    QTest::newRow("placeholders are case-sensitive")
        << "%db%"
        << "%User%"
        << "%pw%" << head + "%db%,1433;Initial Catalog=%User%;User ID=%pw%;" + tail;
    QTest::newRow("blanks and separators go in as typed")
        << " SRV01 "
        << "a;b=c"
        << "nav user " << head + " SRV01 ,1433;Initial Catalog=a;b=c;User ID=nav user ;" + tail;
}

void tst_ConnectString::build()
{
    QFETCH(QString, server);
    QFETCH(QString, database);
    QFETCH(QString, user);
    QFETCH(QString, expected);
    QCOMPARE(BuildConnectionString(QString::fromUtf16(kConnectTemplate), server, database, user), expected);
}

void tst_ConnectString::withPassword_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");
    const QString shown = QStringLiteral("User ID=u;Password=%PW%;");

    QTest::newRow("plain") << shown << "Secret1"
                           << "User ID=u;Password=Secret1;";
    QTest::newRow("empty password allowed") << shown << QString() << "User ID=u;Password=;";
    QTest::newRow("inner blank and equals sign as typed") << shown << "a b=c"
                                                          << "User ID=u;Password=a b=c;";
    QTest::newRow("semicolon quoted") << shown << "a;Server=evil"
                                      << "User ID=u;Password=\"a;Server=evil\";";
    QTest::newRow("single quote quoted") << shown << "it's"
                                         << "User ID=u;Password=\"it's\";";
    QTest::newRow("double quote doubled") << shown << "say \"hi\""
                                          << "User ID=u;Password=\"say \"\"hi\"\"\";";
    QTest::newRow("leading blank quoted") << shown << " pw"
                                          << "User ID=u;Password=\" pw\";";
    QTest::newRow("trailing blank quoted") << shown << "pw "
                                           << "User ID=u;Password=\"pw \";";
    QTest::newRow("every placeholder, case-sensitive") << "User ID=%PW%;Password=%PW%;x=%pw%"
                                                       << "k"
                                                       << "User ID=k;Password=k;x=%pw%";
    QTest::newRow("a password holding the placeholder is not searched again") << shown << "%PW%"
                                                                              << "User ID=u;Password=%PW%;";
    QTest::newRow("a manual edit is kept") << "Password=%PW%;Application Name=Q;"
                                           << "k"
                                           << "Password=k;Application Name=Q;";
}

void tst_ConnectString::withPassword()
{
    QFETCH(QString, shown);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    QCOMPARE(ConnectStringWithPassword(shown, password), expected);
}

QTEST_APPLESS_MAIN(tst_ConnectString)
#include "tst_ConnectString.moc"
