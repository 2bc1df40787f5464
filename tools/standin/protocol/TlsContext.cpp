#include "protocol/TlsContext.h"

#include <QDateTime>
#include <algorithm>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <optional>

namespace standin {

namespace {
    struct Free
    {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
        void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
        void operator()(X509* certificate) const { X509_free(certificate); }
    };
    using ContextPtr = std::unique_ptr<SSL_CTX, Free>;
    using KeyPtr = std::unique_ptr<EVP_PKEY, Free>;
    using CertificatePtr = std::unique_ptr<X509, Free>;

    // The name SQL Server gives the certificate it makes for itself when none is installed.
    constexpr char kSelfSignedName[] = "SSL_Self_Signed_Fallback";
    constexpr long kValiditySeconds = 10L * 365 * 24 * 60 * 60;

    QString lastError(const char* what)
    {
        const unsigned long code = ERR_get_error();
        char text[256] = {};
        ERR_error_string_n(code, text, sizeof text);
        return QStringLiteral("%1: %2").arg(QLatin1String(what), QLatin1String(text));
    }

    struct Credentials
    {
        KeyPtr key;
        CertificatePtr certificate;
    };

    // A fresh RSA key and a certificate for it, signed by itself.
    std::optional<Credentials> makeSelfSigned(QString& error)
    {
        Credentials made { KeyPtr(EVP_RSA_gen(2048)), CertificatePtr(X509_new()) };
        if (!made.key || !made.certificate) {
            error = lastError("cannot make a key");
            return std::nullopt;
        }
        X509* cert = made.certificate.get();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert),
                         static_cast<long>(QDateTime::currentSecsSinceEpoch() & 0x7FFFFFFF));
        X509_gmtime_adj(X509_getm_notBefore(cert), -24L * 60 * 60);
        X509_gmtime_adj(X509_getm_notAfter(cert), kValiditySeconds);
        X509_set_pubkey(cert, made.key.get());
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(kSelfSignedName),
                                   -1, -1, 0);
        X509_set_issuer_name(cert, name);
        if (X509_sign(cert, made.key.get(), EVP_sha256()) <= 0) {
            error = lastError("cannot sign the certificate");
            return std::nullopt;
        }
        return made;
    }

    bool install(SSL_CTX* context, const std::optional<Credentials>& made, const QString& certificateFile,
                 const QString& keyFile, QString& error)
    {
        if (made) {
            if (SSL_CTX_use_certificate(context, made->certificate.get()) == 1
                && SSL_CTX_use_PrivateKey(context, made->key.get()) == 1)
                return true;
            error = lastError("cannot use the certificate");
            return false;
        }
        if (SSL_CTX_use_certificate_chain_file(context, certificateFile.toLocal8Bit().constData()) != 1) {
            error = lastError("cannot read the certificate");
            return false;
        }
        if (SSL_CTX_use_PrivateKey_file(context, keyFile.toLocal8Bit().constData(), SSL_FILETYPE_PEM) != 1) {
            error = lastError("cannot read the key");
            return false;
        }
        if (SSL_CTX_check_private_key(context) != 1) {
            error = lastError("the key does not belong to the certificate");
            return false;
        }
        return true;
    }

    ContextPtr newContext(int lowest, int highest)
    {
        ContextPtr context(SSL_CTX_new(TLS_server_method()));
        if (!context)
            return context;
        SSL_CTX* ctx = context.get();
        SSL_CTX_set_min_proto_version(ctx, lowest);
        SSL_CTX_set_max_proto_version(ctx, highest);
        // TLS 1.0 and 1.1 sign the handshake with MD5 and SHA-1, which OpenSSL's default security
        // level refuses; a release that speaks them accepts them.
        if (lowest < TLS1_2_VERSION)
            SSL_CTX_set_security_level(ctx, 0);
        // No session tickets: after a login-only handshake the client reads the next reply as
        // plain TDS, and a ticket written after the handshake would land in it.
        SSL_CTX_set_options(ctx, SSL_OP_NO_TICKET);
        SSL_CTX_set_num_tickets(ctx, 0);
        SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
        return context;
    }
} // namespace

std::unique_ptr<TlsContext> TlsContext::create(const ServerProfile& profile, const QString& certificateFile,
                                               const QString& keyFile, QString& error)
{
    std::optional<Credentials> made;
    if (certificateFile.isEmpty() && !(made = makeSelfSigned(error)))
        return nullptr;
    // TLS inside PRELOGIN packets stops at 1.2; 1.3 is spoken only where TLS starts the connection.
    ContextPtr prelogin = newContext(profile.lowestTls, std::min(profile.highestTls, TLS1_2_VERSION));
    ContextPtr tlsFirst = profile.tlsFirst ? newContext(TLS1_2_VERSION, profile.highestTls) : nullptr;
    if (!prelogin || (profile.tlsFirst && !tlsFirst)) {
        error = lastError("cannot start TLS");
        return nullptr;
    }
    if (!install(prelogin.get(), made, certificateFile, keyFile, error)
        || (tlsFirst && !install(tlsFirst.get(), made, certificateFile, keyFile, error)))
        return nullptr;
    return std::unique_ptr<TlsContext>(new TlsContext(prelogin.release(), tlsFirst.release()));
}

TlsContext::~TlsContext()
{
    SSL_CTX_free(m_prelogin);
    SSL_CTX_free(m_tlsFirst);
}

} // namespace standin
