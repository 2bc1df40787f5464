#include "security/Ntlm.h"

#include "protocol/Bytes.h"

#include <QRandomGenerator>
#include <nettle/hmac.h>
#include <nettle/md4.h>

namespace standin {

namespace {

    // LOGIN7: OptionFlags2 and its "integrated security" bit; the SSPI blob's offset and lengths.
    constexpr qsizetype kOptionFlags2 = 25;
    constexpr std::uint8_t kIntegratedSecurity = 0x80;
    constexpr qsizetype kSspiOffset = 78;
    constexpr qsizetype kSspiLength = 80;
    constexpr qsizetype kSspiLongLength = 90;
    constexpr qsizetype kLogin7FixedPart = 94;

    constexpr std::uint8_t kSspiTokenType = 0xED;

    const QByteArray kSignature("NTLMSSP\0", 8);
    constexpr std::uint32_t kNegotiateType = 1;
    constexpr std::uint32_t kChallengeType = 2;
    constexpr std::uint32_t kAuthenticateType = 3;

    constexpr std::uint32_t kNegotiateUnicode = 0x00000001;
    constexpr std::uint32_t kRequestTarget = 0x00000004;
    constexpr std::uint32_t kNegotiateNtlm = 0x00000200;
    constexpr std::uint32_t kAlwaysSign = 0x00008000;
    constexpr std::uint32_t kTargetTypeDomain = 0x00010000;
    constexpr std::uint32_t kExtendedSessionSecurity = 0x00080000;
    constexpr std::uint32_t kNegotiateTargetInfo = 0x00800000;
    constexpr std::uint32_t kNegotiateVersion = 0x02000000;

    // AV_PAIR identifiers of the target information.
    constexpr std::uint16_t kAvEol = 0;
    constexpr std::uint16_t kAvNbComputerName = 1;
    constexpr std::uint16_t kAvNbDomainName = 2;

    const QString kComputerName = QStringLiteral("STANDIN");
    const QString kDomainName = QStringLiteral("STANDIN");

    // Fixed part of a CHALLENGE message with its version field; the payload follows it.
    constexpr std::uint32_t kChallengeHeader = 56;

    // An NTLMv2 response is a 16-byte proof followed by the client's blob of at least 28 bytes.
    constexpr qsizetype kProofBytes = 16;
    constexpr qsizetype kMinimumBlobBytes = 28;

    QByteArray utf16le(const QString& text)
    {
        ByteWriter out;
        out.utf16(text);
        return out.take();
    }

    QByteArray md4(const QByteArray& data)
    {
        md4_ctx context;
        md4_init(&context);
        md4_update(&context, std::size_t(data.size()), reinterpret_cast<const std::uint8_t*>(data.constData()));
        QByteArray digest(MD4_DIGEST_SIZE, '\0');
        md4_digest(&context, MD4_DIGEST_SIZE, reinterpret_cast<std::uint8_t*>(digest.data()));
        return digest;
    }

    QByteArray hmacMd5(const QByteArray& key, const QByteArray& data)
    {
        hmac_md5_ctx context;
        hmac_md5_set_key(&context, std::size_t(key.size()), reinterpret_cast<const std::uint8_t*>(key.constData()));
        hmac_md5_update(&context, std::size_t(data.size()), reinterpret_cast<const std::uint8_t*>(data.constData()));
        QByteArray digest(MD5_DIGEST_SIZE, '\0');
        hmac_md5_digest(&context, MD5_DIGEST_SIZE, reinterpret_cast<std::uint8_t*>(digest.data()));
        return digest;
    }

    bool isMessage(const QByteArray& blob, std::uint32_t type)
    {
        ByteReader reader(blob, kSignature.size());
        return blob.startsWith(kSignature) && reader.u32() == type;
    }

    // A (length, maximum length, offset) field pointing into the message.
    std::optional<QByteArray> payloadField(const QByteArray& message, qsizetype fieldAt)
    {
        ByteReader reader(message, fieldAt);
        const auto length = reader.u16();
        reader.u16();
        const auto offset = reader.u32();
        if (!length || !offset || qsizetype(*offset) + *length > message.size())
            return std::nullopt;
        return message.mid(*offset, *length);
    }

    void avPair(ByteWriter& out, std::uint16_t id, const QByteArray& value)
    {
        out.u16(id);
        out.u16(std::uint16_t(value.size()));
        out.bytes(value);
    }

    bool equalInConstantTime(const QByteArray& left, const QByteArray& right)
    {
        if (left.size() != right.size())
            return false;
        unsigned char difference = 0;
        for (qsizetype i = 0; i < left.size(); ++i)
            difference |= static_cast<unsigned char>(left[i] ^ right[i]);
        return difference == 0;
    }

} // namespace

std::optional<QByteArray> integratedSecurityBlob(const QByteArray& login7)
{
    if (login7.size() < kLogin7FixedPart || !(std::uint8_t(login7[kOptionFlags2]) & kIntegratedSecurity))
        return std::nullopt;
    ByteReader offsetReader(login7, kSspiOffset);
    const auto offset = offsetReader.u16();
    ByteReader lengthReader(login7, kSspiLength);
    std::optional<std::uint32_t> length = lengthReader.u16();
    if (length == 0xFFFF) {
        ByteReader longReader(login7, kSspiLongLength);
        length = longReader.u32();
    }
    if (!offset || !length || *length == 0 || qsizetype(*offset) + qsizetype(*length) > login7.size())
        return std::nullopt;
    return login7.mid(*offset, qsizetype(*length));
}

QByteArray sspiToken(const QByteArray& blob)
{
    ByteWriter out;
    out.u8(kSspiTokenType);
    out.u16(std::uint16_t(blob.size()));
    out.bytes(blob);
    return out.take();
}

NtlmServer::NtlmServer()
{
    const quint64 random = QRandomGenerator::system()->generate64();
    for (std::size_t i = 0; i < m_serverChallenge.size(); ++i)
        m_serverChallenge[i] = std::uint8_t(random >> (8 * i));
}

NtlmServer::NtlmServer(const std::array<std::uint8_t, 8>& serverChallenge)
    : m_serverChallenge(serverChallenge)
{ }

std::optional<QByteArray> NtlmServer::challenge(const QByteArray& negotiate) const
{
    if (!isMessage(negotiate, kNegotiateType))
        return std::nullopt;
    const QByteArray targetName = utf16le(kDomainName);
    ByteWriter targetInfo;
    avPair(targetInfo, kAvNbDomainName, utf16le(kDomainName));
    avPair(targetInfo, kAvNbComputerName, utf16le(kComputerName));
    avPair(targetInfo, kAvEol, {});

    ByteWriter out;
    out.bytes(kSignature);
    out.u32(kChallengeType);
    out.u16(std::uint16_t(targetName.size()));
    out.u16(std::uint16_t(targetName.size()));
    out.u32(kChallengeHeader);
    out.u32(kNegotiateUnicode | kRequestTarget | kNegotiateNtlm | kAlwaysSign | kTargetTypeDomain
            | kExtendedSessionSecurity | kNegotiateTargetInfo | kNegotiateVersion);
    for (const std::uint8_t byte : m_serverChallenge)
        out.u8(byte);
    out.u64(0); // reserved
    out.u16(std::uint16_t(targetInfo.size()));
    out.u16(std::uint16_t(targetInfo.size()));
    out.u32(kChallengeHeader + std::uint32_t(targetName.size()));
    // Version: Windows Server 2003 (5.2, build 3790), NTLM revision 15.
    out.u8(5);
    out.u8(2);
    out.u16(3790);
    out.u8(0);
    out.u8(0);
    out.u8(0);
    out.u8(15);
    out.bytes(targetName);
    out.bytes(targetInfo.data());
    return out.take();
}

std::optional<NtlmAuthentication> NtlmServer::readAuthenticate(const QByteArray& authenticate)
{
    constexpr qsizetype kNtResponse = 20, kDomain = 28, kUser = 36;
    if (!isMessage(authenticate, kAuthenticateType))
        return std::nullopt;
    const auto ntResponse = payloadField(authenticate, kNtResponse);
    const auto domain = payloadField(authenticate, kDomain);
    const auto user = payloadField(authenticate, kUser);
    if (!ntResponse || !domain || !user || domain->size() % 2 != 0 || user->size() % 2 != 0)
        return std::nullopt;
    const auto text = [](const QByteArray& bytes) {
        ByteReader reader(bytes);
        return reader.utf16(bytes.size() / 2).value_or(QString());
    };
    return NtlmAuthentication { text(*domain), text(*user), *ntResponse };
}

bool NtlmServer::proves(const NtlmAuthentication& authentication, const QString& password) const
{
    if (authentication.ntResponse.size() < kProofBytes + kMinimumBlobBytes)
        return false;
    const QByteArray serverChallenge(reinterpret_cast<const char*>(m_serverChallenge.data()),
                                     qsizetype(m_serverChallenge.size()));
    const QByteArray key = ntlmV2ResponseKey(password, authentication.user, authentication.domain);
    const QByteArray expected = ntlmV2Proof(key, serverChallenge, authentication.ntResponse.mid(kProofBytes));
    return equalInConstantTime(expected, authentication.ntResponse.left(kProofBytes));
}

QByteArray ntlmV2ResponseKey(const QString& password, const QString& user, const QString& domain)
{
    return hmacMd5(md4(utf16le(password)), utf16le(user.toUpper() + domain));
}

QByteArray ntlmV2Proof(const QByteArray& responseKey, const QByteArray& serverChallenge, const QByteArray& clientBlob)
{
    return hmacMd5(responseKey, serverChallenge + clientBlob);
}

} // namespace standin
