#include "db/ServerTrust.h"

#include "db/ErrorNumbers.h"
#include "db/SqlServerKeywords.h"
#include "support/Failure.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTcpSocket>
#include <algorithm>

#ifndef Q_OS_WIN
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#endif

namespace quorvane::db {

namespace {

    constexpr char kConfigVariable[] = "FREETDSCONF";
    constexpr int kProbeMilliseconds = 5000;

    bool isPlainText(const QString& text)
    {
        return std::none_of(text.begin(), text.end(), [](QChar character) { return character.unicode() < 0x20; });
    }

#ifndef Q_OS_WIN
    // TDS packets: an 8-byte header (type, status, big-endian length, channel, packet id, window).
    constexpr char kPreloginPacket = 0x12;
    constexpr char kEndOfMessage = 0x01;

    QByteArray tdsPacket(const QByteArray& payload)
    {
        const int length = int(payload.size()) + 8;
        QByteArray packet;
        packet.append(kPreloginPacket).append(kEndOfMessage);
        packet.append(char(length >> 8)).append(char(length & 0xFF));
        packet.append(QByteArray(3, '\0')).append('\1');
        return packet + payload;
    }

    // A pre-login that offers encryption: a VERSION and an ENCRYPTION option, then the terminator.
    QByteArray preloginRequest()
    {
        const QByteArray options = QByteArray::fromHex("00000b0006"
                                                       "0100110001"
                                                       "ff");
        return tdsPacket(options + QByteArray::fromHex("090000000000") + QByteArray(1, '\1'));
    }

    std::optional<QByteArray> readPacketPayload(QTcpSocket& socket)
    {
        auto readExactly = [&socket](qint64 size) -> std::optional<QByteArray> {
            QByteArray data;
            while (data.size() < size) {
                if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(kProbeMilliseconds))
                    return std::nullopt;
                data += socket.read(size - data.size());
            }
            return data;
        };
        const auto header = readExactly(8);
        if (!header)
            return std::nullopt;
        const int length = (quint8(header->at(2)) << 8) | quint8(header->at(3));
        return length < 8 ? std::nullopt : readExactly(length - 8);
    }

    // The ENCRYPTION option of the server's pre-login answer; NOT_SUP (2) means no TLS follows.
    bool serverEncrypts(const QByteArray& answer)
    {
        for (qsizetype at = 0; at + 5 <= answer.size() && quint8(answer[at]) != 0xFF; at += 5) {
            if (answer[at] != 0x01)
                continue;
            const int offset = (quint8(answer[at + 1]) << 8) | quint8(answer[at + 2]);
            return offset < answer.size() && answer[offset] != 0x02;
        }
        return false;
    }

    QString namesOf(X509* certificate)
    {
        QStringList names;
        char common[256] = {};
        if (X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, common, sizeof common) > 0)
            names.append(QString::fromUtf8(common));
        auto* alternatives
            = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
        for (int i = 0; alternatives && i < sk_GENERAL_NAME_num(alternatives); ++i) {
            const GENERAL_NAME* name = sk_GENERAL_NAME_value(alternatives, i);
            if (name->type != GEN_DNS)
                continue;
            const auto* text = reinterpret_cast<const char*>(ASN1_STRING_get0_data(name->d.dNSName));
            const QString dns = QString::fromUtf8(text, ASN1_STRING_length(name->d.dNSName));
            if (!names.contains(dns))
                names.append(dns);
        }
        GENERAL_NAMES_free(alternatives);
        return names.join(QStringLiteral("\", \""));
    }

    struct SslDeleter
    {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
        void operator()(SSL* connection) const { SSL_free(connection); }
        void operator()(X509* certificate) const { X509_free(certificate); }
    };
#endif

} // namespace

QString systemAuthorities()
{
#ifdef Q_OS_WIN
    return QStringLiteral("system");
#else
    const QString named = qEnvironmentVariable("SSL_CERT_FILE");
    return named.isEmpty() ? QStringLiteral("/etc/ssl/certs/ca-certificates.crt") : named;
#endif
}

FreeTdsTrustConfig::FreeTdsTrustConfig(const OdbcConnectRequest& request)
    : m_file(QDir::temp().filePath(QStringLiteral("quorvane-tds-XXXXXX.conf")))
{
    static std::mutex configVariable;
    m_turn = std::unique_lock(configVariable);
    if (!isPlainText(request.trustedCertificates))
        throw Failure(kErrorBadConnectionString, QStringLiteral("The certificate file's name cannot be used."));
    const bool pinned = request.serverTrust == ServerTrust::Pinned;
    const QString section
        = QStringLiteral("[%1]\n\thost = %2\n\tencryption = require\n\tca file = %3\n"
                         "\tcheck certificate hostname = %4\n")
              .arg(QLatin1String(oledb::kFreeTdsTrustSection), request.serverHost, request.trustedCertificates,
                   pinned ? QStringLiteral("no") : QStringLiteral("yes"));
    if (!m_file.open() || m_file.write(section.toUtf8()) < 0 || !m_file.flush())
        throw Failure(
            kErrorFail,
            QStringLiteral("The settings for verifying the server cannot be written: %1").arg(m_file.errorString()));
    if (qEnvironmentVariableIsSet(kConfigVariable))
        m_previous = qgetenv(kConfigVariable);
    qputenv(kConfigVariable, QFile::encodeName(m_file.fileName()));
}

FreeTdsTrustConfig::~FreeTdsTrustConfig()
{
    if (m_previous)
        qputenv(kConfigVariable, *m_previous);
    else
        qunsetenv(kConfigVariable);
}

namespace {

    QString waysOut()
    {
        return QStringLiteral("Add \"Server Certificate=PATH\" with a copy of the server's certificate to accept "
                              "exactly that one, or \"Trust Server Certificate=True\" to accept any certificate.");
    }

} // namespace

std::optional<Failure> driverCertificateRefusal(const Failure& driverFailure)
{
    const QString& message = driverFailure.description();
    if (!message.contains(QLatin1String("SSL Provider"), Qt::CaseInsensitive)
        && !message.contains(QLatin1String("certificate"), Qt::CaseInsensitive))
        return std::nullopt;
    return Failure(kErrorServerNotVerified,
                   QStringLiteral("The server's certificate could not be verified (%1). ").arg(message.simplified())
                       + waysOut());
}

std::optional<QString> certificateProblem(const OdbcConnectRequest& request)
{
#ifdef Q_OS_WIN
    Q_UNUSED(request);
    return std::nullopt;
#else
    QTcpSocket socket;
    socket.connectToHost(request.serverHost, quint16(request.serverPort));
    if (!socket.waitForConnected(kProbeMilliseconds) || socket.write(preloginRequest()) < 0)
        return std::nullopt;
    const auto answer = readPacketPayload(socket);
    if (!answer || !serverEncrypts(*answer))
        return std::nullopt;

    const std::unique_ptr<SSL_CTX, SslDeleter> context(SSL_CTX_new(TLS_client_method()));
    if (!context
        || SSL_CTX_load_verify_locations(context.get(), QFile::encodeName(request.trustedCertificates).constData(),
                                         nullptr)
            != 1)
        return std::nullopt;
    // A pinned certificate is accepted as it is, whoever issued it.
    if (request.serverTrust == ServerTrust::Pinned)
        X509_STORE_set_flags(SSL_CTX_get_cert_store(context.get()), X509_V_FLAG_PARTIAL_CHAIN);
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    const std::unique_ptr<SSL, SslDeleter> tls(SSL_new(context.get()));
    if (!tls)
        return std::nullopt;
    const QByteArray host = request.serverHost.toUtf8();
    if (request.serverTrust == ServerTrust::Authorities)
        SSL_set1_host(tls.get(), host.constData());
    BIO* fromServer = BIO_new(BIO_s_mem());
    BIO* toServer = BIO_new(BIO_s_mem());
    SSL_set_bio(tls.get(), fromServer, toServer);
    SSL_set_connect_state(tls.get());

    for (;;) {
        const int result = SSL_do_handshake(tls.get());
        char* pending = nullptr;
        const long size = BIO_get_mem_data(toServer, &pending);
        if (size > 0) {
            socket.write(tdsPacket(QByteArray(pending, size)));
            socket.waitForBytesWritten(kProbeMilliseconds);
            (void)BIO_reset(toServer);
        }
        if (result == 1 || SSL_get_error(tls.get(), result) != SSL_ERROR_WANT_READ)
            break;
        const auto payload = readPacketPayload(socket);
        if (!payload)
            break;
        BIO_write(fromServer, payload->constData(), int(payload->size()));
    }
    const std::unique_ptr<X509, SslDeleter> certificate(SSL_get1_peer_certificate(tls.get()));
    const long verdict = SSL_get_verify_result(tls.get());
    if (!certificate || verdict == X509_V_OK)
        return std::nullopt;
    return QStringLiteral("The server's certificate could not be verified (%1); it was issued to \"%2\". ")
               .arg(QString::fromUtf8(X509_verify_cert_error_string(verdict)), namesOf(certificate.get()))
        + waysOut();
#endif
}

} // namespace quorvane::db
