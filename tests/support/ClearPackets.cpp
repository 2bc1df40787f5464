#include "support/ClearPackets.h"

namespace quorvane::test {

namespace {

    constexpr qsizetype kTdsHeader = 8;
    constexpr qsizetype kTlsHeader = 5;

    quint8 byteAt(const QByteArray& bytes, qsizetype at)
    {
        return static_cast<quint8>(bytes.at(at));
    }

    qsizetype bigEndian16(const QByteArray& bytes, qsizetype at)
    {
        return (byteAt(bytes, at) << 8) | byteAt(bytes, at + 1);
    }

    bool isTlsRecord(const QByteArray& bytes, qsizetype at)
    {
        const quint8 contentType = byteAt(bytes, at);
        return contentType >= 20 && contentType <= 23 && at + 1 < bytes.size() && byteAt(bytes, at + 1) == 3;
    }

} // namespace

std::optional<QList<quint8>> clearPacketTypes(const QByteArray& stream)
{
    QList<quint8> types;
    qsizetype at = 0;
    while (at < stream.size()) {
        qsizetype length = 0;
        if (isTlsRecord(stream, at)) {
            if (at + kTlsHeader > stream.size())
                return std::nullopt;
            length = kTlsHeader + bigEndian16(stream, at + 3);
        } else {
            if (at + kTdsHeader > stream.size())
                return std::nullopt;
            length = bigEndian16(stream, at + 2);
            if (length < kTdsHeader)
                return std::nullopt;
            types.append(byteAt(stream, at));
        }
        if (at + length > stream.size())
            return std::nullopt;
        at += length;
    }
    return types;
}

} // namespace quorvane::test
