#include "security/LoginHandshake.h"

#include "protocol/TokenWriter.h"
#include "sql/ServerErrors.h"

namespace standin {

namespace {
    using errors::kServerName;
    const QString kProductName = QStringLiteral("Microsoft SQL Server");
    const QString kLanguage = QStringLiteral("us_english");
} // namespace

LoginHandshake::LoginHandshake(Catalogue& catalogue, const ServerProfile& profile)
    : m_catalogue(catalogue)
    , m_profile(profile)
{ }

LoginStep LoginHandshake::login(const QByteArray& payload)
{
    const auto request = parseLogin7(payload);
    if (!request)
        return {};
    m_tdsVersion = m_profile.negotiatedTds(request->tdsVersion);
    m_packetSize = request->packetSize;
    const auto blob = integratedSecurityBlob(payload);
    m_integrated = blob.has_value();
    if (blob) {
        const auto challenge = m_ntlm.challenge(*blob);
        if (!challenge)
            return refuse({ errors::loginFailed(QString()) });
        m_pendingLogin = *request;
        return { LoginStep::Outcome::Challenged, sspiToken(*challenge) };
    }
    const Login* login = m_catalogue.findLogin(request->userName);
    if (!login || login->windows || login->password != request->password)
        return refuse({ errors::loginFailed(request->userName) });
    return accept(*request, *login);
}

LoginStep LoginHandshake::authenticate(const QByteArray& payload)
{
    const auto authentication = NtlmServer::readAuthenticate(payload);
    if (!authentication || !m_pendingLogin)
        return refuse({ errors::loginFailed(QString()) });
    const QString account = authentication->accountName();
    const Login* login = m_catalogue.findLogin(account);
    if (!login || !login->windows || !m_ntlm.proves(*authentication, login->password))
        return refuse({ errors::loginFailed(account) });
    const LoginRequest request = *std::exchange(m_pendingLogin, std::nullopt);
    return accept(request, *login);
}

LoginStep LoginHandshake::refuse(const SqlMessages& messages) const
{
    TokenWriter out(m_tdsVersion);
    for (const SqlMessage& message : messages)
        out.message(message, kServerName);
    out.done(DoneStatus::Error, 0, 0);
    return { LoginStep::Outcome::Refused, out.take() };
}

LoginStep LoginHandshake::accept(const LoginRequest& request, const Login& login)
{
    QString wanted = request.database;
    if (wanted.isEmpty())
        wanted = login.defaultDatabase;
    const std::optional<int> database
        = wanted.isEmpty() && !m_catalogue.databases.empty() ? std::optional<int>(0) : m_catalogue.findDatabase(wanted);
    if (!database)
        return refuse({ errors::cannotOpenDatabase(wanted), errors::loginFailed(login.name) });
    m_database = *database;
    m_loginName = login.name;
    m_viewServerState = login.viewServerState;
    m_hostName = request.hostName;
    m_programName = request.appName;
    const QString name = m_catalogue.databases[static_cast<size_t>(m_database)].name();
    TokenWriter out(m_tdsVersion);
    out.envChange(EnvChange::Database, name, QStringLiteral("master"));
    out.message(errors::databaseContextChanged(name), kServerName);
    out.envChangeBytes(EnvChange::Collation, serverCollation(), {});
    out.envChange(EnvChange::Language, kLanguage, {});
    out.message(errors::languageChanged(kLanguage), kServerName);
    out.loginAck(m_tdsVersion, kProductName, m_profile.productVersion());
    out.envChange(EnvChange::PacketSize, QString::number(m_packetSize), QString::number(m_packetSize));
    out.done(DoneStatus::Final, 0, 0);
    return { LoginStep::Outcome::Accepted, out.take() };
}

} // namespace standin
