#include "protocol/TdsTransport.h"

#include "protocol/Packet.h"
#include "protocol/TlsContext.h"

namespace standin {

namespace {
    constexpr qsizetype kPacketHeader = 8;
    constexpr qsizetype kRecordHeader = 5;
    constexpr std::uint8_t kEndOfMessage = 0x01;
    constexpr std::uint8_t kTlsHandshakeRecord = 0x16;
    // The packet size both sides use until LOGIN7 has set another.
    constexpr int kPreloginPacketSize = 4096;

    int bigEndian16(const QByteArray& bytes, qsizetype at)
    {
        return (static_cast<std::uint8_t>(bytes[at]) << 8) | static_cast<std::uint8_t>(bytes[at + 1]);
    }

    // True when the bytes are whole TDS packets and the last one ends a message.
    bool endsMessage(const QByteArray& tds)
    {
        qsizetype at = 0;
        while (at + kPacketHeader <= tds.size()) {
            const int length = bigEndian16(tds, at + 2);
            if (length < kPacketHeader || at + length > tds.size())
                return false;
            at += length;
            if (static_cast<std::uint8_t>(tds[at - length + 1]) & kEndOfMessage)
                return at == tds.size();
        }
        return false;
    }

    void append(QList<ReceivedTds>& tds, QByteArray bytes, bool encrypted)
    {
        if (bytes.isEmpty())
            return;
        if (!tds.isEmpty() && tds.last().encrypted == encrypted)
            tds.last().bytes.append(bytes);
        else
            tds.append({ std::move(bytes), encrypted });
    }
} // namespace

TdsTransport::TdsTransport(const TlsContext* tls)
    : m_tls(tls)
{ }

TdsTransport::~TdsTransport() = default;

void TdsTransport::startTls(ChannelEncryption encryption)
{
    if (encryption == ChannelEncryption::None || !m_tls || m_state != State::Plain)
        return;
    m_encryption = encryption;
    m_channel = std::make_unique<TlsChannel>(m_tls->prelogin());
    m_state = State::Handshake;
}

QList<ReceivedTds> TdsTransport::receive(const QByteArray& bytes)
{
    m_pending.append(bytes);
    QList<ReceivedTds> tds;
    while (!m_failed) {
        switch (m_state) {
        case State::Start:
            if (!startStep())
                return tds;
            break;
        case State::TlsFirstHandshake:
            if (!tlsFirstStep())
                return tds;
            break;
        case State::Plain:
            append(tds, std::exchange(m_pending, {}), false);
            return tds;
        case State::Handshake:
            if (!handshakeStep())
                return tds;
            break;
        case State::Login:
            if (!loginStep(tds))
                return tds;
            break;
        case State::Encrypted:
            m_channel->feed(std::exchange(m_pending, {}));
            append(tds, m_channel->readPlain(m_failed), true);
            m_outgoing.append(m_channel->takeRecords());
            return tds;
        }
    }
    return tds;
}

// Tells a TDS 8.0 client, whose first byte opens a TLS handshake record, from a TDS 7.x client,
// whose first byte opens a PRELOGIN packet.
bool TdsTransport::startStep()
{
    if (m_pending.isEmpty())
        return false;
    const bool tlsFirst = static_cast<std::uint8_t>(m_pending[0]) == kTlsHandshakeRecord && m_tls && m_tls->tlsFirst();
    if (tlsFirst) {
        m_channel = std::make_unique<TlsChannel>(m_tls->tlsFirst());
        m_state = State::TlsFirstHandshake;
    } else {
        m_state = State::Plain;
    }
    return true;
}

bool TdsTransport::tlsFirstStep()
{
    m_channel->feed(std::exchange(m_pending, {}));
    const TlsChannel::Handshake result = m_channel->handshake();
    m_outgoing.append(m_channel->takeRecords());
    if (result == TlsChannel::Handshake::Failed)
        m_failed = true;
    if (result != TlsChannel::Handshake::Done)
        return false;
    m_state = State::Encrypted;
    return true;
}

// Takes one PRELOGIN packet of handshake records, if a whole one has arrived; answers whether the
// state can go on.
bool TdsTransport::handshakeStep()
{
    if (m_pending.size() < kPacketHeader)
        return false;
    const int length = bigEndian16(m_pending, 2);
    if (static_cast<std::uint8_t>(m_pending[0]) != static_cast<std::uint8_t>(PacketType::Prelogin)
        || length < kPacketHeader) {
        m_failed = true;
        return false;
    }
    if (m_pending.size() < length)
        return false;
    m_channel->feed(m_pending.mid(kPacketHeader, length - kPacketHeader));
    m_pending.remove(0, length);
    const TlsChannel::Handshake result = m_channel->handshake();
    const QByteArray records = m_channel->takeRecords();
    if (!records.isEmpty())
        m_outgoing.append(framePackets(PacketType::Prelogin, records, kPreloginPacketSize, 0, m_packetId));
    if (result == TlsChannel::Handshake::Failed) {
        m_failed = true;
        return false;
    }
    if (result == TlsChannel::Handshake::Done)
        m_state = m_encryption == ChannelEncryption::LoginOnly ? State::Login : State::Encrypted;
    return true;
}

// Takes one TLS record while only the login is encrypted; once the LOGIN7 message is complete the
// TLS session ends and the bytes after it are plain TDS.
bool TdsTransport::loginStep(QList<ReceivedTds>& tds)
{
    if (m_pending.size() < kRecordHeader)
        return false;
    const qsizetype length = kRecordHeader + bigEndian16(m_pending, 3);
    if (m_pending.size() < length)
        return false;
    m_channel->feed(m_pending.left(length));
    m_pending.remove(0, length);
    m_loginPlain.append(m_channel->readPlain(m_failed));
    if (endsMessage(m_loginPlain)) {
        append(tds, std::exchange(m_loginPlain, {}), true);
        m_channel.reset();
        m_state = State::Plain;
    }
    return !m_failed;
}

QByteArray TdsTransport::send(const QByteArray& tds)
{
    if (m_state != State::Encrypted)
        return tds;
    if (!m_channel->writePlain(tds))
        m_failed = true;
    return m_channel->takeRecords();
}

} // namespace standin
