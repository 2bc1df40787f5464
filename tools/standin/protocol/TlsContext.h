#pragma once

#include "server/ServerProfile.h"

#include <QString>
#include <memory>

using SSL_CTX = struct ssl_ctx_st;

namespace standin {

// The server side of TLS for one server generation: its certificate and key (a self-signed pair
// made at start unless files name one) and the protocol versions it accepts, once for TLS carried
// in PRELOGIN packets (TDS 7.x) and, for a release that speaks TDS 8.0, once for TLS that starts
// the connection. OpenSSL does all the cryptography.
class TlsContext
{
public:
    // Nothing, with error set, when the certificate cannot be made or loaded.
    static std::unique_ptr<TlsContext> create(const ServerProfile& profile, const QString& certificateFile,
                                              const QString& keyFile, QString& error);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // For TLS negotiated in PRELOGIN.
    SSL_CTX* prelogin() const { return m_prelogin; }
    // For TDS 8.0's TLS-first connections; null when the release does not speak TDS 8.0.
    SSL_CTX* tlsFirst() const { return m_tlsFirst; }

private:
    TlsContext(SSL_CTX* prelogin, SSL_CTX* tlsFirst)
        : m_prelogin(prelogin)
        , m_tlsFirst(tlsFirst)
    { }

    SSL_CTX* m_prelogin;
    SSL_CTX* m_tlsFirst;
};

} // namespace standin
