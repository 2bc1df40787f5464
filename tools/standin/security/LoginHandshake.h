#pragma once

#include "catalogue/Catalogue.h"
#include "protocol/SqlMessage.h"
#include "security/Login.h"
#include "security/Ntlm.h"
#include "server/ServerProfile.h"

#include <QByteArray>
#include <cstdint>
#include <optional>

namespace standin {

// What one message of a login leads to, and the reply to send for it.
struct LoginStep
{
    enum class Outcome {
        Broken, // not a login at all: the connection ends without a word
        Challenged, // an NTLM challenge went out; the client's SSPI answer comes next
        Accepted,
        Refused, // the reply carries the errors; the connection ends after it
    };
    Outcome outcome = Outcome::Broken;
    QByteArray reply;
};

// The login of one connection: LOGIN7 with a SQL login's password, or with an NTLM NEGOTIATE
// followed by the client's AUTHENTICATE in an SSPI message; checked against the catalogue's logins.
class LoginHandshake
{
public:
    LoginHandshake(Catalogue& catalogue, const ServerProfile& profile);

    LoginStep login(const QByteArray& payload);
    LoginStep authenticate(const QByteArray& payload);

    // The last LOGIN7 asked for integrated security (NTLM).
    bool integrated() const { return m_integrated; }
    // Known once a LOGIN7 has been read.
    std::uint32_t tdsVersion() const { return m_tdsVersion; }
    int packetSize() const { return m_packetSize; }
    // Known once the login has been accepted.
    int database() const { return m_database; }
    const QString& loginName() const { return m_loginName; }
    bool viewServerState() const { return m_viewServerState; }
    const QString& hostName() const { return m_hostName; }
    const QString& programName() const { return m_programName; }

private:
    LoginStep accept(const LoginRequest& request, const Login& login);
    LoginStep refuse(const SqlMessages& messages) const;

    Catalogue& m_catalogue;
    const ServerProfile& m_profile;
    // A Windows login between the server's NTLM challenge and the client's answer.
    std::optional<LoginRequest> m_pendingLogin;
    NtlmServer m_ntlm;
    bool m_integrated = false;
    std::uint32_t m_tdsVersion = 0x74000004;
    int m_packetSize = 4096;
    int m_database = 0;
    QString m_loginName;
    bool m_viewServerState = true;
    QString m_hostName;
    QString m_programName;
};

} // namespace standin
