#include "protocol/Prelogin.h"
#include "protocol/TokenWriter.h"
#include "server/ServerProfile.h"

#include <QTest>

using namespace standin;

// What each SQL Server release the stand-in plays answers: the TDS version for a client's, and
// PRELOGIN. (What each one encrypts is met end to end by the client checks and the releases test.)
class tst_profiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tdsVersion_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<quint32>("requested");
        QTest::addColumn<quint32>("answered");
        constexpr quint32 v73a = 0x730A0003;
        QTest::newRow("2000, 7.4 client") << "2000" << TdsVersion::V7_4 << TdsVersion::V7_1;
        QTest::newRow("2005, 7.4 client") << "2005" << TdsVersion::V7_4 << TdsVersion::V7_2;
        QTest::newRow("2005, 7.1 client") << "2005" << TdsVersion::V7_1 << TdsVersion::V7_1;
        QTest::newRow("2008r2, 7.3 A client") << "2008r2" << v73a << v73a;
        QTest::newRow("2016, 7.2 client") << "2016" << TdsVersion::V7_2 << TdsVersion::V7_2;
        QTest::newRow("2022, TDS 8.0 client") << "2022" << quint32(0x08000000) << TdsVersion::V7_4;
        QTest::newRow("2022, 7.3 B client") << "2022" << TdsVersion::V7_3 << TdsVersion::V7_3;
    }

    void tdsVersion()
    {
        QFETCH(QString, release);
        QFETCH(quint32, requested);
        const auto profile = profileNamed(release);
        QVERIFY(profile);
        QTEST(profile->negotiatedTds(requested), "answered");
    }

    void preloginCarriesVersionAndAnswer()
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
};

QTEST_APPLESS_MAIN(tst_profiles)
#include "tst_profiles.moc"
