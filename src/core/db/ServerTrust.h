#pragma once

#include "db/DriverConnectionString.h"
#include "support/Failure.h"

#include <QByteArray>
#include <QTemporaryFile>
#include <mutex>
#include <optional>

namespace quorvane::db {

// The trusted authorities of this computer: the file SSL_CERT_FILE names, or the system's bundle.
QString systemAuthorities();

// Tells FreeTDS how to check the server's certificate for one connect: a freetds.conf section of
// our own (the host to verify, the trusted certificates, whether the name must match) in a private
// temporary file that FREETDSCONF points to while this lives. The user's own freetds.conf is never
// touched. Connects that check certificates take turns, as the variable is the process's.
class FreeTdsTrustConfig
{
public:
    explicit FreeTdsTrustConfig(const OdbcConnectRequest& request);
    ~FreeTdsTrustConfig();
    FreeTdsTrustConfig(const FreeTdsTrustConfig&) = delete;
    FreeTdsTrustConfig& operator=(const FreeTdsTrustConfig&) = delete;

private:
    std::unique_lock<std::mutex> m_turn;
    QTemporaryFile m_file;
    std::optional<QByteArray> m_previous;
};

// Why the certificate the server presents fails the check the request asks for, with the names it
// was issued to, or nothing when it passes or cannot be had. Reads only the server's certificate
// (the pre-login exchange and a TLS handshake); no login is sent.
std::optional<QString> certificateProblem(const OdbcConnectRequest& request);

// For a driver that checks the certificate by itself (the Microsoft drivers): the failure told as
// a certificate that could not be verified, with the two ways out, when the driver's message is
// about the certificate or its TLS provider; nothing for any other failure.
std::optional<Failure> driverCertificateRefusal(const Failure& driverFailure);

} // namespace quorvane::db
