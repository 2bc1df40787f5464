#pragma once

#include <QByteArray>

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;
using BIO = struct bio_st;

namespace standin {

// The server end of one TLS session over memory buffers: the caller moves the TLS records
// between these buffers and wherever they travel (TDS packets, the socket).
class TlsChannel
{
public:
    explicit TlsChannel(SSL_CTX* context);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    enum class Handshake { Pending, Done, Failed };

    // Hands TLS records received from the client to the session.
    void feed(const QByteArray& records);
    // Advances the handshake with what has been fed.
    Handshake handshake();
    // Plain bytes the records fed so far hold; sets failed on a TLS error.
    QByteArray readPlain(bool& failed);
    // Encrypts plain bytes; the records are then in takeRecords().
    bool writePlain(const QByteArray& plain);
    // The TLS records produced since the last call, to be sent to the client.
    QByteArray takeRecords();

private:
    SSL* m_ssl = nullptr;
    BIO* m_in = nullptr; // owned by m_ssl
    BIO* m_out = nullptr; // owned by m_ssl
};

} // namespace standin
