#pragma once

#include "server/ServerProfile.h"

#include <QByteArray>
#include <cstdint>

namespace standin {

// The ENCRYPTION value of a client's PRELOGIN message; "not supported" when it names none.
std::uint8_t clientEncryption(const QByteArray& payload);

// The server's PRELOGIN answer: the release's version and the given ENCRYPTION value.
QByteArray preloginReply(const ServerProfile& profile, std::uint8_t encryption);

} // namespace standin
