#include "protocol/Prelogin.h"
#include "protocol/TokenWriter.h"
#include "server/ServerProfile.h"

#include <QTest>

using namespace standin;

// What each SQL Server release the stand-in plays answers: the TDS version for a client's, the
// PRELOGIN encryption value for a client's and what the connection then encrypts.
class tst_profiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tdsVersion_data();
    void tdsVersion();
    void encryption_data();
    void encryption();
    void preloginCarriesVersionAndAnswer();
    void versionText_data();
    void versionText();
};

void tst_profiles::tdsVersion_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<quint32>("requested");
    QTest::addColumn<quint32>("answered");
    constexpr quint32 v73a = 0x730A0003;
    QTest::newRow("2000, 7.4 client") << "2000" << TdsVersion::V7_4 << TdsVersion::V7_1;
    QTest::newRow("2000, 7.1 client") << "2000" << TdsVersion::V7_1 << TdsVersion::V7_1;
    QTest::newRow("2005, 7.4 client") << "2005" << TdsVersion::V7_4 << TdsVersion::V7_2;
    QTest::newRow("2005, 7.1 client") << "2005" << TdsVersion::V7_1 << TdsVersion::V7_1;
    QTest::newRow("2008r2, 7.4 client") << "2008r2" << TdsVersion::V7_4 << TdsVersion::V7_3;
    QTest::newRow("2008r2, 7.3 A client") << "2008r2" << v73a << v73a;
    QTest::newRow("2008r2, 7.2 client") << "2008r2" << TdsVersion::V7_2 << TdsVersion::V7_2;
    QTest::newRow("2016, 7.4 client") << "2016" << TdsVersion::V7_4 << TdsVersion::V7_4;
    QTest::newRow("2016, 7.2 client") << "2016" << TdsVersion::V7_2 << TdsVersion::V7_2;
    QTest::newRow("2022, TDS 8.0 client") << "2022" << quint32(0x08000000) << TdsVersion::V7_4;
    QTest::newRow("2022, 7.3 B client") << "2022" << TdsVersion::V7_3 << TdsVersion::V7_3;
}

void tst_profiles::tdsVersion()
{
    QFETCH(QString, release);
    QFETCH(quint32, requested);
    QFETCH(quint32, answered);
    const auto profile = profileNamed(release);
    QVERIFY(profile);
    QCOMPARE(profile->negotiatedTds(requested), answered);
}

void tst_profiles::encryption_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<quint8>("client");
    QTest::addColumn<quint8>("answer");
    QTest::addColumn<int>("channel");
    const auto none = int(ChannelEncryption::None), login = int(ChannelEncryption::LoginOnly),
               all = int(ChannelEncryption::Everything);
    for (const char* release : { "2000" }) {
        QTest::addRow("%s, client off", release) << release << Encrypt::Off << Encrypt::NotSupported << none;
        QTest::addRow("%s, client on", release) << release << Encrypt::On << Encrypt::NotSupported << none;
        QTest::addRow("%s, client cannot", release)
            << release << Encrypt::NotSupported << Encrypt::NotSupported << none;
    }
    for (const char* release : { "2005", "2008r2", "2016" }) {
        QTest::addRow("%s, client off", release) << release << Encrypt::Off << Encrypt::Off << login;
        QTest::addRow("%s, client on", release) << release << Encrypt::On << Encrypt::On << all;
        QTest::addRow("%s, client cannot", release)
            << release << Encrypt::NotSupported << Encrypt::NotSupported << none;
    }
    QTest::newRow("2022, client off") << "2022" << Encrypt::Off << Encrypt::Required << all;
    QTest::newRow("2022, client on") << "2022" << Encrypt::On << Encrypt::Required << all;
    QTest::newRow("2022, client cannot") << "2022" << Encrypt::NotSupported << Encrypt::Required << all;
}

void tst_profiles::encryption()
{
    QFETCH(QString, release);
    QFETCH(quint8, client);
    QFETCH(quint8, answer);
    QFETCH(int, channel);
    const auto profile = profileNamed(release);
    QVERIFY(profile);
    const EncryptionAnswer answered = profile->answerEncryption(client);
    QCOMPARE(answered.value, answer);
    QCOMPARE(int(answered.channel), channel);
}

void tst_profiles::preloginCarriesVersionAndAnswer()
{
    const auto profile = profileNamed(QStringLiteral("2008r2"));
    QVERIFY(profile);
    const QByteArray reply = preloginReply(*profile, Encrypt::On);
    QCOMPARE(clientEncryption(reply), Encrypt::On);
    // VERSION comes first in the data: 10.50, build 6000 big-endian.
    QCOMPARE(reply.mid(26, 4), QByteArray::fromHex("0a321770"));
    QCOMPARE(clientEncryption(QByteArray::fromHex("ff")), Encrypt::NotSupported);
    QVERIFY(!profileNamed(QStringLiteral("2019")));
    QCOMPARE(defaultProfile().name, QStringLiteral("2016"));
}

void tst_profiles::versionText_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("text"); // as LOGINACK and the Browser's answer name the version
    QTest::newRow("2000") << "2000"
                          << "8.00.2039";
    QTest::newRow("2005") << "2005"
                          << "9.00.5000";
    QTest::newRow("2008r2") << "2008r2"
                            << "10.50.6000";
    QTest::newRow("2016") << "2016"
                          << "13.0.6300";
    QTest::newRow("2022") << "2022"
                          << "16.0.1000";
}

void tst_profiles::versionText()
{
    QFETCH(QString, release);
    QFETCH(QString, text);
    const auto profile = profileNamed(release);
    QVERIFY(profile);
    QCOMPARE(profile->versionText(), text);
}

QTEST_APPLESS_MAIN(tst_profiles)
#include "tst_profiles.moc"
