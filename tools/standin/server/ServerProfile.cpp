#include "server/ServerProfile.h"

#include "protocol/TokenWriter.h"

#include <algorithm>
#include <array>
#include <openssl/ssl.h>

namespace standin {

namespace {
    // 7.3 exists in two revisions; a 7.3 A client is answered with 7.3 A.
    constexpr std::uint32_t kTds73A = 0x730A0003;

    const std::array<ServerProfile, 5>& profiles()
    {
        static const std::array<ServerProfile, 5> all { {
            { QStringLiteral("2000"), TdsVersion::V7_1, true, 8, 0, 2039, EncryptionSetting::NotSupported, 0, 0 },
            { QStringLiteral("2005"), TdsVersion::V7_2, false, 9, 0, 5000, EncryptionSetting::Off, TLS1_VERSION,
              TLS1_VERSION },
            { QStringLiteral("2008r2"), TdsVersion::V7_3, false, 10, 50, 6000, EncryptionSetting::Off, TLS1_VERSION,
              TLS1_2_VERSION },
            { QStringLiteral("2016"), TdsVersion::V7_4, false, 13, 0, 6300, EncryptionSetting::Off, TLS1_2_VERSION,
              TLS1_2_VERSION },
            { QStringLiteral("2022"), TdsVersion::V7_4, false, 16, 0, 1000, EncryptionSetting::Required, TLS1_2_VERSION,
              TLS1_3_VERSION, true },
        } };
        return all;
    }
} // namespace

QString ServerProfile::versionText() const
{
    constexpr std::uint8_t kFirstWithPlainMinor = 11;
    const int minorWidth = major < kFirstWithPlainMinor ? 2 : 1;
    return QStringLiteral("%1.%2.%3")
        .arg(int { major })
        .arg(int { minor }, minorWidth, 10, QLatin1Char('0'))
        .arg(int { build });
}

std::uint32_t ServerProfile::negotiatedTds(std::uint32_t requested) const
{
    if (answersOwnTds)
        return highestTds;
    // LOGIN7 carries the version little-endian; its top byte names the protocol generation.
    std::uint32_t asked = TdsVersion::V7_4;
    switch (requested >> 24) {
    case 0x70:
    case 0x71:
        asked = TdsVersion::V7_1;
        break;
    case 0x72:
        asked = TdsVersion::V7_2;
        break;
    case 0x73:
        asked = requested == kTds73A ? kTds73A : TdsVersion::V7_3;
        break;
    default:
        break;
    }
    return std::min(asked, highestTds);
}

EncryptionAnswer ServerProfile::answerEncryption(std::uint8_t clientValue) const
{
    switch (encryption) {
    case EncryptionSetting::NotSupported:
        return { Encrypt::NotSupported, ChannelEncryption::None };
    case EncryptionSetting::Required:
        // A client that cannot encrypt ends the connection; one that goes on must encrypt.
        return { Encrypt::Required, ChannelEncryption::Everything };
    case EncryptionSetting::Off:
        break;
    }
    // A server holding a certificate encrypts everything for a client that asks, the login only
    // for a client that can, and nothing for a client that cannot (and says so in its answer).
    if (clientValue == Encrypt::On || clientValue == Encrypt::Required)
        return { Encrypt::On, ChannelEncryption::Everything };
    if (clientValue == Encrypt::NotSupported)
        return { Encrypt::NotSupported, ChannelEncryption::None };
    return { Encrypt::Off, ChannelEncryption::LoginOnly };
}

ServerProfile defaultProfile()
{
    return *profileNamed(QStringLiteral("2016"));
}

std::optional<ServerProfile> profileNamed(const QString& name)
{
    for (const ServerProfile& profile : profiles()) {
        if (profile.name.compare(name, Qt::CaseInsensitive) == 0)
            return profile;
    }
    return std::nullopt;
}

QStringList profileNames()
{
    QStringList names;
    for (const ServerProfile& profile : profiles())
        names.append(profile.name);
    return names;
}

} // namespace standin
