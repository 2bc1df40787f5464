#pragma once

#include <QString>
#include <map>
#include <vector>

namespace quorvane::db::oledb {

// Reading an OLE DB style connection string into its keyword=value pairs, and refusing what cannot
// be used without ever quoting any part of the password.

// The OLE DB properties this translation understands, each with all the names it goes by.
enum class Property {
    Provider,
    DataSource,
    InitialCatalog,
    UserId,
    Password,
    ConnectTimeout,
    ApplicationName,
    WorkstationId,
    PacketSize,
    UseEncryption,
    TrustServerCertificate,
    ServerCertificate,
    NetworkLibrary,
    PersistSecurityInfo,
    IntegratedSecurity,
    Unknown,
};

// One keyword=value pair as written.
struct Pair
{
    QString keyword;
    QString value;
    Property property = Property::Unknown;
    bool quoted = false;
    // True for a pair behind an unquoted password: it may be the rest of a password that holds
    // a ";", so no description may quote it.
    bool mayHoldPassword = false;
};

// Reads every pair as written. Throws Failure(kErrorBadConnectionString, ...) for a string that is
// not well formed.
std::vector<Pair> parse(const QString& text);

// The last pair of each property; later pairs replace earlier ones.
using Properties = std::map<Property, Pair>;

Properties lastOfEach(const std::vector<Pair>& pairs);

// The last pair of `property`, or null.
const Pair* find(const Properties& properties, Property property);

// keyword=value, as a driver reads it.
QString pairText(const QString& keyword, const QString& value);

// Each throws Failure(kErrorBadConnectionString, ...): with `description`, or saying that what
// follows an unquoted password cannot be read.
[[noreturn]] void refuse(const QString& description);
[[noreturn]] void refuseAfterPassword();
// Refuses the value of a pair with a description that names its keyword ("%1"), unless the pair
// may be part of the password.
[[noreturn]] void refuseValue(const Pair& pair, const QString& description);

} // namespace quorvane::db::oledb
