#include "protocol/TlsChannel.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

namespace standin {

TlsChannel::TlsChannel(SSL_CTX* context)
    : m_ssl(SSL_new(context))
    , m_in(BIO_new(BIO_s_mem()))
    , m_out(BIO_new(BIO_s_mem()))
{
    // An empty memory buffer means "wait for more", not end of stream.
    BIO_set_mem_eof_return(m_in, -1);
    BIO_set_mem_eof_return(m_out, -1);
    SSL_set_bio(m_ssl, m_in, m_out);
    SSL_set_accept_state(m_ssl);
}

TlsChannel::~TlsChannel()
{
    SSL_free(m_ssl);
}

void TlsChannel::feed(const QByteArray& records)
{
    if (!records.isEmpty())
        BIO_write(m_in, records.constData(), static_cast<int>(records.size()));
}

TlsChannel::Handshake TlsChannel::handshake()
{
    const int result = SSL_do_handshake(m_ssl);
    if (result == 1)
        return Handshake::Done;
    const int error = SSL_get_error(m_ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return Handshake::Pending;
    ERR_clear_error();
    return Handshake::Failed;
}

QByteArray TlsChannel::readPlain(bool& failed)
{
    QByteArray plain;
    char chunk[16384];
    for (;;) {
        const int read = SSL_read(m_ssl, chunk, sizeof chunk);
        if (read > 0) {
            plain.append(chunk, read);
            continue;
        }
        const int error = SSL_get_error(m_ssl, read);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            failed = true;
            ERR_clear_error();
        }
        return plain;
    }
}

bool TlsChannel::writePlain(const QByteArray& plain)
{
    if (plain.isEmpty())
        return true;
    const int written = SSL_write(m_ssl, plain.constData(), static_cast<int>(plain.size()));
    if (written != plain.size()) {
        ERR_clear_error();
        return false;
    }
    return true;
}

QByteArray TlsChannel::takeRecords()
{
    const auto pending = static_cast<qsizetype>(BIO_ctrl_pending(m_out));
    QByteArray records(pending, Qt::Uninitialized);
    if (pending > 0)
        BIO_read(m_out, records.data(), static_cast<int>(pending));
    return records;
}

} // namespace standin
