#pragma once

#include "protocol/TlsChannel.h"
#include "server/ServerProfile.h"

#include <QByteArray>
#include <QList>
#include <memory>

namespace standin {

class TlsContext;

// TDS bytes as they came out of the transport, and whether they arrived inside TLS.
struct ReceivedTds
{
    QByteArray bytes;
    bool encrypted = false;
};

// Carries one connection's TDS packets between the socket and the session, through TLS when
// PRELOGIN has negotiated it: the handshake's records travel inside PRELOGIN (0x12) packets;
// then the TDS packets travel inside TLS records, either only the LOGIN7 message (after which
// the connection goes on in the clear) or everything until the connection ends. A TDS 8.0 client
// starts with the TLS handshake itself, and everything, PRELOGIN included, travels inside TLS.
class TdsTransport
{
public:
    // tls may be null for a server that cannot encrypt.
    explicit TdsTransport(const TlsContext* tls);
    ~TdsTransport();
    TdsTransport(const TdsTransport&) = delete;
    TdsTransport& operator=(const TdsTransport&) = delete;

    // Bytes received from the socket; answers the TDS bytes they carry, in order.
    QList<ReceivedTds> receive(const QByteArray& bytes);
    // TDS bytes for the client, as they go on the wire.
    QByteArray send(const QByteArray& tds);
    // Bytes the transport itself has to send (handshake records), since the last call.
    QByteArray takeOutgoing() { return std::exchange(m_outgoing, {}); }
    // Expects the client's TLS handshake next, after the PRELOGIN answer has been sent.
    void startTls(ChannelEncryption encryption);
    // True once the client has broken the TLS or the packets around it.
    bool failed() const { return m_failed; }
    bool encrypting() const { return m_state == State::Encrypted; }

private:
    enum class State { Start, Plain, Handshake, TlsFirstHandshake, Login, Encrypted };

    bool startStep();
    bool handshakeStep();
    bool tlsFirstStep();
    bool loginStep(QList<ReceivedTds>& tds);

    const TlsContext* m_tls;
    std::unique_ptr<TlsChannel> m_channel;
    ChannelEncryption m_encryption = ChannelEncryption::None;
    State m_state = State::Start;
    QByteArray m_pending;
    QByteArray m_loginPlain;
    QByteArray m_outgoing;
    std::uint8_t m_packetId = 1;
    bool m_failed = false;
};

} // namespace standin
