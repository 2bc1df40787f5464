#include "protocol/Bytes.h"
#include "protocol/Prelogin.h"
#include "protocol/TokenWriter.h"
#include "security/Ntlm.h"
#include "server/ServerProfile.h"

#include <QTest>
#include <tuple>

using namespace standin;

namespace {

const std::array<std::uint8_t, 8> kServerChallenge { 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef };
const QByteArray kChallengeBytes(reinterpret_cast<const char*>(kServerChallenge.data()), 8);

// The client's blob: NTLMv2_CLIENT_CHALLENGE with a zero time stamp, the client challenge and the
// server's target information.
QByteArray clientBlob(const QByteArray& targetInfo)
{
    return QByteArray::fromHex("01010000000000000000000000000000aaaaaaaaaaaaaaaa00000000") + targetInfo
        + QByteArray(4, '\0');
}

// An AUTHENTICATE message as a client sends it, with Unicode names, workstation "PC7".
QByteArray authenticate(const QString& domain, const QString& user, const QByteArray& ntResponse)
{
    QList<QByteArray> fields { QByteArray(24, '\0'), ntResponse };
    for (const QString& name : { domain, user, QStringLiteral("PC7") }) // UTF-16LE, as on every host we build for
        fields.append(QByteArray(reinterpret_cast<const char*>(name.utf16()), name.size() * 2));
    ByteWriter out;
    out.bytes(QByteArray("NTLMSSP\0\3\0\0\0", 12));
    std::uint32_t offset = 64;
    for (const QByteArray& field : fields + QList<QByteArray> { QByteArray() }) { // the last: an empty session key
        out.u16(std::uint16_t(field.size()));
        out.u16(std::uint16_t(field.size()));
        out.u32(offset);
        offset += std::uint32_t(field.size());
    }
    out.u32(0x00088201); // flags
    for (const QByteArray& field : fields)
        out.bytes(field);
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

} // namespace

// What the stand-in answers while a client logs in: the TDS version and PRELOGIN of each release
// it plays, and NTLM for domain logins.
class tst_Login : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What each SQL Server release the stand-in plays answers: the TDS version for a client's, and
    // PRELOGIN. (What each one encrypts is met end to end by the client checks and the releases test.)
    void tdsVersion()
    {
        constexpr quint32 v73a = 0x730A0003;
        const std::tuple<const char*, quint32, quint32> rows[] = {
            { "2000", TdsVersion::V7_4, TdsVersion::V7_1 }, { "2005", TdsVersion::V7_4, TdsVersion::V7_2 },
            { "2005", TdsVersion::V7_1, TdsVersion::V7_1 }, { "2008r2", v73a, v73a },
            { "2016", TdsVersion::V7_2, TdsVersion::V7_2 }, { "2022", 0x08000000, TdsVersion::V7_4 }, // TDS 8.0
            { "2022", TdsVersion::V7_3, TdsVersion::V7_3 },
        };
        for (const auto& [release, requested, answered] : rows)
            QCOMPARE(profileNamed(QString::fromLatin1(release))->negotiatedTds(requested), answered);
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

    // A typed domain and user name in another case still match; an NTLMv1 response does not, and no
    // response proves the password for another server challenge.
    void provesThePassword()
    {
        // Domain, user name, whether the response is NTLMv1, the password typed, and whether it is proven.
        const std::tuple<QString, QString, bool, QString, bool> rows[]
            = { { "corp", "anna", false, "Wq4;Anna", true }, { "CORP", "anna", true, "Wq4;Anna", false } };
        for (const auto& [domain, user, ntlmV1, password, proven] : rows) {
            const QByteArray blob = clientBlob(QByteArray(8, '\0'));
            const QByteArray key = ntlmV2ResponseKey(password, user, domain);
            const QByteArray response = ntlmV1 ? QByteArray(24, 'x') : ntlmV2Proof(key, kChallengeBytes, blob) + blob;
            const auto authentication = NtlmServer::readAuthenticate(authenticate(domain, user, response));
            QVERIFY(authentication);
            QCOMPARE(authentication->accountName(), domain + QLatin1Char('\\') + user);
            QCOMPARE(NtlmServer(kServerChallenge).proves(*authentication, QStringLiteral("Wq4;Anna")), proven);
            QVERIFY(!NtlmServer(std::array<std::uint8_t, 8> {}).proves(*authentication, QStringLiteral("Wq4;Anna")));
        }
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
        QCOMPARE(challenge->mid(24, 8), kChallengeBytes);
        QVERIFY(challenge->endsWith(QByteArray(4, '\0')));
    }

    // Messages cut short, or of another kind, are refused rather than read past their end.
    void refusesWhatItCannotRead()
    {
        const QByteArray whole = authenticate(QStringLiteral("CORP"), QStringLiteral("anna"), QByteArray(60, 'r'));
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

QTEST_GUILESS_MAIN(tst_Login)
#include "tst_login.moc"
