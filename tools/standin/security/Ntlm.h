#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace standin {

// The SSPI blob of a LOGIN7 message that asks for Windows authentication, if it does.
std::optional<QByteArray> integratedSecurityBlob(const QByteArray& login7);

// The SSPI token (0xED) that carries a security blob back to the client during login.
QByteArray sspiToken(const QByteArray& blob);

// Who an NTLM AUTHENTICATE message says the client is, and its NTLMv2 response.
struct NtlmAuthentication
{
    QString domain;
    QString user;
    QByteArray ntResponse;

    QString accountName() const { return domain + QLatin1Char('\\') + user; }
};

// The server's half of an NTLM exchange (MS-NLMP, connection-oriented): answers the client's
// NEGOTIATE with a CHALLENGE and checks the NTLMv2 response of its AUTHENTICATE against a
// password. Only NTLMv2 is accepted, as on a server that refuses LM and NTLMv1.
class NtlmServer
{
public:
    NtlmServer();
    // Uses a fixed server challenge, so that a test can compute the expected response.
    explicit NtlmServer(const std::array<std::uint8_t, 8>& serverChallenge);

    // The CHALLENGE message for a NEGOTIATE message; nothing when the blob is not one.
    std::optional<QByteArray> challenge(const QByteArray& negotiate) const;
    // Reads an AUTHENTICATE message; nothing when the blob is not one.
    static std::optional<NtlmAuthentication> readAuthenticate(const QByteArray& authenticate);
    // Whether the response proves that the client knows the password of domain\user.
    bool proves(const NtlmAuthentication& authentication, const QString& password) const;

private:
    std::array<std::uint8_t, 8> m_serverChallenge;
};

// NTOWFv2 and the NTLMv2 proof over a server challenge and the client's blob, as both sides
// compute them (exposed for tests that play the client).
QByteArray ntlmV2ResponseKey(const QString& password, const QString& user, const QString& domain);
QByteArray ntlmV2Proof(const QByteArray& responseKey, const QByteArray& serverChallenge, const QByteArray& clientBlob);

} // namespace standin
