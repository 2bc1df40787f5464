#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace standin {

// How a server answers the ENCRYPTION option of PRELOGIN.
enum class EncryptionSetting {
    NotSupported, // no certificate: nothing is encrypted
    Off, // holds a certificate: the login is encrypted, the rest only when the client asks
    Required, // Force Encryption: everything is encrypted
};

// The PRELOGIN ENCRYPTION values.
namespace Encrypt {
    inline constexpr std::uint8_t Off = 0x00;
    inline constexpr std::uint8_t On = 0x01;
    inline constexpr std::uint8_t NotSupported = 0x02;
    inline constexpr std::uint8_t Required = 0x03;
} // namespace Encrypt

// What the connection encrypts once PRELOGIN has been answered.
enum class ChannelEncryption { None, LoginOnly, Everything };

// The protocol answer to a client's ENCRYPTION option.
struct EncryptionAnswer
{
    std::uint8_t value = Encrypt::NotSupported;
    ChannelEncryption channel = ChannelEncryption::None;
};

// A SQL Server release as the stand-in plays it: the versions it announces, how it answers
// encryption and which TLS versions it accepts.
struct ServerProfile
{
    QString name;
    // The highest TDS version the release speaks, as LOGINACK states it.
    std::uint32_t highestTds = 0;
    // True when the release answers every TDS 7.x login with its own version.
    bool answersOwnTds = false;
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint16_t build = 0;
    EncryptionSetting encryption = EncryptionSetting::NotSupported;
    // TLS protocol versions accepted, as OpenSSL numbers them (TLS1_VERSION ...); 0 when none.
    int lowestTls = 0;
    int highestTls = 0;
    // True when the release also takes TDS 8.0 connections, which start with the TLS handshake.
    bool tlsFirst = false;

    // The version LOGINACK carries, in the same 0xMMmmbbbb layout the program reads.
    std::uint32_t productVersion() const
    {
        return (std::uint32_t { major } << 24) | (std::uint32_t { minor } << 16) | build;
    }
    // The version as the release writes it in text, e.g. "8.00.2039" or "13.0.6300": the minor
    // number has two digits up to SQL Server 2008 R2 and as many as it needs from 2012 on.
    QString versionText() const;
    // The TDS version the release answers a client's requested version with.
    std::uint32_t negotiatedTds(std::uint32_t requested) const;
    // The ENCRYPTION answer and what it means for the connection, for the client's value.
    EncryptionAnswer answerEncryption(std::uint8_t clientValue) const;
};

// The release the stand-in plays when none is named: SQL Server 2016.
ServerProfile defaultProfile();
// The profile of that name ("2000", "2005", "2008r2", "2016", "2022"), if there is one.
std::optional<ServerProfile> profileNamed(const QString& name);
QStringList profileNames();

} // namespace standin
