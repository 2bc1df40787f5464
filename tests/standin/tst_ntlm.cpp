#include "protocol/Bytes.h"
#include "security/Ntlm.h"

#include <QTest>

using namespace standin;

namespace {

const std::array<std::uint8_t, 8> kServerChallenge { 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef };

QByteArray utf16le(const QString& text)
{
    ByteWriter out;
    out.utf16(text);
    return out.take();
}

// The client's blob: NTLMv2_CLIENT_CHALLENGE with a zero time stamp, the client challenge and the
// server's target information.
QByteArray clientBlob(const QByteArray& targetInfo)
{
    ByteWriter out;
    out.u8(1);
    out.u8(1);
    out.u16(0);
    out.u32(0);
    out.u64(0);
    out.bytes(QByteArray(8, char(0xaa)));
    out.u32(0);
    out.bytes(targetInfo);
    out.u32(0);
    return out.take();
}

// An AUTHENTICATE message as a client sends it, with Unicode names.
QByteArray authenticate(const QString& domain, const QString& user, const QByteArray& ntResponse)
{
    const QByteArray lmResponse(24, '\0');
    const QByteArray domainBytes = utf16le(domain);
    const QByteArray userBytes = utf16le(user);
    const QByteArray workstation = utf16le(QStringLiteral("PC7"));
    ByteWriter out;
    out.bytes(QByteArray("NTLMSSP\0", 8));
    out.u32(3);
    std::uint32_t offset = 64;
    for (const QByteArray* field : { &lmResponse, &ntResponse, &domainBytes, &userBytes, &workstation }) {
        out.u16(std::uint16_t(field->size()));
        out.u16(std::uint16_t(field->size()));
        out.u32(offset);
        offset += std::uint32_t(field->size());
    }
    out.u16(0);
    out.u16(0);
    out.u32(offset);
    out.u32(0x00088201); // flags
    for (const QByteArray* field : { &lmResponse, &ntResponse, &domainBytes, &userBytes, &workstation })
        out.bytes(*field);
    return out.take();
}

// A LOGIN7 message's fixed part with OptionFlags2 and the SSPI blob behind it.
QByteArray login7(std::uint8_t optionFlags2, const QByteArray& sspi)
{
    QByteArray message(94, '\0');
    message[25] = char(optionFlags2);
    message[78] = char(94);
    message[80] = char(sspi.size());
    return message + sspi;
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestNtlm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The published example values of NTLMv2 (user "User", domain "Domain", password "Password").
    void knownAnswers()
    {
        const QByteArray key
            = ntlmV2ResponseKey(QStringLiteral("Password"), QStringLiteral("User"), QStringLiteral("Domain"));
        QCOMPARE(key.toHex(), QByteArray("0c868a403bfd7a93a3001ef22ef02e3f"));
        const QByteArray targetInfo = hex("02000c0044006f006d00610069006e0001000c0053006500720076006500720000000000");
        QCOMPARE(ntlmV2Proof(key, hex("0123456789abcdef"), clientBlob(targetInfo)).toHex(),
                 QByteArray("68cd0ab851e51c96aabc927bebef6a1c"));
    }

    void provesThePassword_data()
    {
        QTest::addColumn<QString>("typedDomain");
        QTest::addColumn<QString>("typedUser");
        QTest::addColumn<QString>("typedPassword");
        QTest::addColumn<bool>("ntlmV1");
        QTest::addColumn<bool>("proven");
        QTest::newRow("user name in another case") << "CORP"
                                                   << "ANNA"
                                                   << "Wq4;Anna" << false << true;
        QTest::newRow("domain in another case") << "corp"
                                                << "anna"
                                                << "Wq4;Anna" << false << true;
        QTest::newRow("wrong password") << "CORP"
                                        << "anna"
                                        << "Wq4;anna" << false << false;
        QTest::newRow("NTLMv1 response") << "CORP"
                                         << "anna"
                                         << "Wq4;Anna" << true << false;
    }

    void provesThePassword()
    {
        QFETCH(QString, typedDomain);
        QFETCH(QString, typedUser);
        QFETCH(QString, typedPassword);
        QFETCH(bool, ntlmV1);
        const NtlmServer server(kServerChallenge);
        const QByteArray blob = clientBlob(hex("0000000000000000"));
        const QByteArray key = ntlmV2ResponseKey(typedPassword, typedUser, typedDomain);
        const QByteArray response = ntlmV1
            ? QByteArray(24, 'x')
            : ntlmV2Proof(key, QByteArray(reinterpret_cast<const char*>(kServerChallenge.data()), 8), blob) + blob;
        const auto authentication = NtlmServer::readAuthenticate(authenticate(typedDomain, typedUser, response));
        QVERIFY(authentication);
        QCOMPARE(authentication->accountName(), typedDomain + QLatin1Char('\\') + typedUser);
        QTEST(server.proves(*authentication, QStringLiteral("Wq4;Anna")), "proven");
        QVERIFY(!NtlmServer(std::array<std::uint8_t, 8> {}).proves(*authentication, QStringLiteral("Wq4;Anna")));
    }

    // What clients do not check but a server must send: the target information flag, and the
    // list of AV pairs ended by MsvAvEOL.
    void challengeAnswersANegotiate()
    {
        const auto challenge = NtlmServer(kServerChallenge).challenge(QByteArray("NTLMSSP\0\1\0\0\0\1\xb2\x08\0", 16));
        QVERIFY(challenge);
        ByteReader reader(*challenge, 20);
        const auto flags = reader.u32();
        QVERIFY(flags && (*flags & 0x00800000) && (*flags & 0x00000001)); // target information, Unicode
        QCOMPARE(challenge->mid(24, 8), QByteArray(reinterpret_cast<const char*>(kServerChallenge.data()), 8));
        QVERIFY(challenge->endsWith(QByteArray(4, '\0')));
    }

    // Messages cut short, or of another kind, are refused rather than read past their end.
    void refusesWhatItCannotRead()
    {
        const QByteArray whole = authenticate(QStringLiteral("CORP"), QStringLiteral("anna"), QByteArray(60, 'r'));
        QVERIFY(NtlmServer::readAuthenticate(whole));
        // Cut into the user name, which the workstation name ("PC7", 6 bytes) follows.
        QVERIFY(!NtlmServer::readAuthenticate(whole.left(whole.size() - 7)));
        QVERIFY(!NtlmServer::readAuthenticate(whole.left(40)));
        const NtlmServer server(kServerChallenge);
        QVERIFY(!server.challenge(QByteArray("NTLMSSP\0\3\0\0\0", 12)));
        QVERIFY(!server.challenge(QByteArray("NTLMSSX\0\1\0\0\0", 12)));
        const QByteArray negotiate("NTLMSSP\0\1\0\0\0", 12);
        QCOMPARE(integratedSecurityBlob(login7(0x00, negotiate)), std::nullopt); // not asked for
        QCOMPARE(integratedSecurityBlob(login7(0x80, QByteArray())), std::nullopt);
        QCOMPARE(integratedSecurityBlob(login7(0x80, negotiate).left(100)), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestNtlm)
#include "tst_ntlm.moc"
