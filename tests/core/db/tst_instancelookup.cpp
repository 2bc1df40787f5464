#include "server/Browser.h"
#include "db/InstanceLookup.h"

#include <QTest>

using namespace quorvane::db;

namespace {

const standin::BrowsedInstance kNav { QStringLiteral("NAVHOST"), QStringLiteral("NAV"), QStringLiteral("9.00.5000.00"),
                                      49172 };

QByteArray bytes(std::initializer_list<char> list)
{
    return QByteArray(list.begin(), qsizetype(list.size()));
}

QByteArray serverResponse(const QByteArray& data)
{
    return bytes({ 0x05, char(data.size() & 0xFF), char(data.size() >> 8) }) + data;
}

} // namespace

// The stand-in's Browser service and the program's reading of its answers.
class TestInstanceLookup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void browserAnswers_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("answered");

        QTest::newRow("its instance") << QByteArray("\x04NAV\0", 5) << true;
        QTest::newRow("its instance in another case, no terminating zero") << QByteArray("\x04nav") << true;
        QTest::newRow("another instance") << QByteArray("\x04NAVISION\0", 10) << false;
        QTest::newRow("the default instance's name") << QByteArray("\x04MSSQLSERVER\0", 13) << false;
        QTest::newRow("an empty name") << QByteArray("\x04\0", 2) << false;
        QTest::newRow("a name longer than 32 bytes") << QByteArray("\x04") + QByteArray(33, 'N') << false;
        QTest::newRow("all instances, unicast") << bytes({ 0x03 }) << true;
        QTest::newRow("all instances, broadcast") << bytes({ 0x02 }) << true;
        QTest::newRow("all instances with bytes behind") << bytes({ 0x03, 0x01 }) << false;
        QTest::newRow("the dedicated administrator connection") << bytes({ 0x0F, 0x01, 'N', 'A', 'V', 0 }) << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void browserAnswers()
    {
        QFETCH(QByteArray, request);
        QFETCH(bool, answered);
        const auto reply = standin::browserReply(request, kNav);
        QCOMPARE(reply.has_value(), answered);
        if (!answered)
            return;
        const QByteArray data
            = QByteArrayLiteral("ServerName;NAVHOST;InstanceName;NAV;IsClustered;No;Version;9.00.5000.00;tcp;49172;;");
        QCOMPARE(*reply, serverResponse(data));
        QCOMPARE(InstancePortFromReply(*reply, QStringLiteral("nav")), std::optional<quint16>(49172));
    }

    void readsThePort_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("port"); // 0: none

        QTest::newRow("one instance") << serverResponse("ServerName;S;InstanceName;NAV;IsClustered;No;Version;"
                                                        "10.50.1600.1;tcp;1500;;")
                                      << 1500;
        QTest::newRow("named pipes before tcp")
            << serverResponse("ServerName;S;InstanceName;NAV;IsClustered;No;Version;9.00.5000.00;np;\\\\S\\pipe\\"
                              "MSSQL$NAV\\sql\\query;tcp;2433;;")
            << 2433;
        QTest::newRow("the instance is the second of two")
            << serverResponse("ServerName;S;InstanceName;SQLEXPRESS;IsClustered;No;Version;9.00.5000.00;tcp;1600;;"
                              "ServerName;S;InstanceName;NAV;IsClustered;No;Version;9.00.5000.00;tcp;1700;;")
            << 1700;
        QTest::newRow("another instance only")
            << serverResponse("ServerName;S;InstanceName;SQLEXPRESS;IsClustered;No;Version;9.00.5000.00;tcp;1600;;")
            << 0;
        QTest::newRow("no tcp") << serverResponse("ServerName;S;InstanceName;NAV;IsClustered;No;Version;9.0;;") << 0;
        QTest::newRow("a port out of range")
            << serverResponse("ServerName;S;InstanceName;NAV;IsClustered;No;Version;9.0;tcp;70000;;") << 0;
        QTest::newRow("not a server response")
            << bytes({ 0x04 }) + QByteArray("ServerName;S;InstanceName;NAV;tcp;1500;;") << 0;
        QTest::newRow("cut short") << bytes({ 0x05, 0x10 }) << 0;
    }

    void readsThePort()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, port);
        const auto found = InstancePortFromReply(reply, QStringLiteral("NAV"));
        QCOMPARE(found.value_or(0), port);
    }
};

QTEST_GUILESS_MAIN(TestInstanceLookup)
#include "tst_instancelookup.moc"
