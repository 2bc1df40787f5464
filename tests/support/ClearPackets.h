#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

namespace quorvane::test {

// The types of the TDS packets a client sent outside TLS on one connection, in order. On the wire
// the two kinds of frame alternate without anything between them: a TDS packet has an 8-byte
// header whose bytes 2-3 hold the packet's whole length; a TLS record has a 5-byte header (content
// type 20-23, major version 3, then the length of what follows in bytes 3-4). The handshake's
// records travel inside PRELOGIN packets and are skipped with them. Empty when the bytes are
// neither kind of frame or stop in the middle of one.
std::optional<QList<quint8>> clearPacketTypes(const QByteArray& stream);

} // namespace quorvane::test
