#include "db/SqlServerKeywords.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <functional>
#include <utility>

namespace quorvane::db::oledb {

namespace {

    // A value a driver would misread without braces: a ";", a leading "{" or blanks at either end.
    bool needsBraces(const QString& value)
    {
        return value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('{'))
            || (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
    }

    // Refuses a value that the driver cannot receive as it is; `description` names the keyword ("%1").
    [[noreturn]] void refuseUnreceivable(const Pair& pair, const QString& description)
    {
        if (pair.property == Property::Password || pair.mayHoldPassword)
            refuse(QStringLiteral("The password holds a sequence of characters that the SQL Server driver cannot "
                                  "receive."));
        refuseValue(pair, description);
    }

    // FreeTDS 1.3 reads a value in braces up to the first "}" that a ";" follows, takes "}}" as two
    // characters, and keeps the closing brace of a braced value at the very end of the string. So
    // braces go only around values that need them, "}" is never doubled, every pair ends with ";",
    // and a value holding "};" cannot be passed.
    QString quoteForFreeTds(const QString& value, const Pair& pair)
    {
        if (!needsBraces(value))
            return value;
        if (value.contains(QLatin1String("};")))
            refuseUnreceivable(pair,
                               QStringLiteral("\"%1\" holds \"}\" followed by \";\", which the SQL Server driver "
                                              "cannot receive."));
        return QLatin1Char('{') + value + QLatin1Char('}');
    }

    // The classic provider's names for the server on this computer.
    bool isThisComputer(const QString& host)
    {
        return host.isEmpty() || host == QLatin1String(".")
            || host.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0;
    }

    int portOf(const QString& text, const Pair& dataSource)
    {
        bool ok = false;
        const int port = text.trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            refuseValue(dataSource, QStringLiteral("The port in \"%1\" must be a number from 1 to 65535."));
        return port;
    }

    bool isTrue(const Pair* pair)
    {
        if (!pair)
            return false;
        const QString value = pair->value.toLower();
        if (value == QLatin1String("true") || value == QLatin1String("yes"))
            return true;
        if (value == QLatin1String("false") || value == QLatin1String("no"))
            return false;
        refuseValue(*pair, QStringLiteral("\"%1\" must be True or False."));
    }

    // True for "Use Encryption for Data=True", or a pinned certificate: the whole connection must
    // be encrypted.
    bool encryptionRequired(const Properties& properties)
    {
        return isTrue(find(properties, Property::UseEncryption)) || find(properties, Property::ServerCertificate);
    }

    // FreeTDS reads the certificate check from a configuration section; the host goes into it, so
    // it must be a plain host name or address.
    void checkVerifiableHost(const QString& host, const Pair* dataSource)
    {
        static const QRegularExpression plainHost(QStringLiteral("^[A-Za-z0-9._:-]+$"));
        if (!plainHost.match(host).hasMatch())
            refuseValue(*dataSource,
                        QStringLiteral("The server in \"%1\" must be a plain host name or address for "
                                       "its certificate to be verified."));
    }

    void checkNetworkLibrary(const Pair* pair)
    {
        if (!pair || pair->value.compare(QLatin1String("DBMSSOCN"), Qt::CaseInsensitive) == 0)
            return;
        if (pair->mayHoldPassword)
            refuseAfterPassword();
        refuse(QStringLiteral("The network library \"%1\" is not available. Only DBMSSOCN (TCP/IP) is supported.")
                   .arg(pair->value));
    }

    void checkKnownKeywords(const std::vector<Pair>& pairs)
    {
        for (const Pair& pair : pairs) {
            if (pair.property != Property::Unknown)
                continue;
            if (pair.mayHoldPassword)
                refuseAfterPassword();
            refuse(QStringLiteral("The connection string keyword \"%1\" is not supported.").arg(pair.keyword));
        }
    }

    using Quote = std::function<QString(const QString& value, const Pair& pair)>;

    // Database, application, workstation, user and password under the driver's keywords. As with the
    // classic provider, a user name and password given along with Integrated Security are not used.
    void appendLogin(QStringList& keywords, const Properties& properties, const Quote& quote)
    {
        const bool integratedSecurity = integratedSecurityOf(properties);
        if (integratedSecurity)
            keywords.append(pairText(QStringLiteral("Trusted_Connection"), QStringLiteral("Yes")));
        const std::pair<Property, QString> passedOn[] = {
            { Property::InitialCatalog, QStringLiteral("Database") },
            { Property::ApplicationName, QStringLiteral("APP") },
            { Property::WorkstationId, QStringLiteral("WSID") },
            { Property::UserId, QStringLiteral("UID") },
            { Property::Password, QStringLiteral("PWD") },
        };
        for (const auto& [property, odbcKeyword] : passedOn) {
            if (integratedSecurity && (property == Property::UserId || property == Property::Password))
                continue;
            if (const Pair* pair = find(properties, property))
                keywords.append(pairText(odbcKeyword, quote(pair->value, *pair)));
        }
    }

    // Native Client and the "SQL Server" driver end a value in braces at its first "}", so a value
    // that needs braces cannot hold one.
    QString quoteForOlderMicrosoftDriver(const QString& value, const Pair& pair)
    {
        if (!needsBraces(value))
            return value;
        if (value.contains(QLatin1Char('}')))
            refuseUnreceivable(pair,
                               QStringLiteral("\"%1\" holds \"}\" together with \";\", a leading \"{\" or blanks at "
                                              "either end, which the SQL Server driver cannot receive."));
        return QLatin1Char('{') + value + QLatin1Char('}');
    }

} // namespace

QString hostOrLocalhost(const QString& host)
{
    return isThisComputer(host) ? QStringLiteral("localhost") : host;
}

ServerAddress serverAddressOf(const Pair* dataSource)
{
    const QStringList parts = dataSource ? dataSource->value.split(QLatin1Char(',')) : QStringList { QString() };
    if (parts.size() > 3)
        refuseValue(*dataSource, QStringLiteral("The port in \"%1\" must be a number from 1 to 65535."));
    ServerAddress address;
    address.dataSource = dataSource;
    address.host = parts.front().trimmed();
    const qsizetype backslash = address.host.indexOf(QLatin1Char('\\'));
    if (backslash >= 0) {
        address.instance = address.host.mid(backslash + 1).trimmed();
        address.host = address.host.left(backslash).trimmed();
    }
    int port = parts.size() > 1 ? portOf(parts[1], *dataSource) : 0;
    if (parts.size() > 2)
        portOf(parts[2], *dataSource);
    if (port == kDefaultSqlServerPort && parts.size() == 2 && !address.instance.isEmpty())
        port = 0;
    if (port != 0 || address.instance.isEmpty()) {
        address.instance.clear();
        address.port = port == 0 ? kDefaultSqlServerPort : port;
    }
    return address;
}

int packetSizeOf(const Pair& pair)
{
    bool ok = false;
    const int bytes = pair.value.toInt(&ok);
    if (!ok || bytes < 512 || bytes > 32767)
        refuseValue(pair, QStringLiteral("\"%1\" must be a number of bytes from 512 to 32767."));
    return bytes;
}

bool integratedSecurityOf(const Properties& properties)
{
    const Pair* pair = find(properties, Property::IntegratedSecurity);
    if (!pair)
        return false;
    const QString value = pair->value.toLower();
    if (value == QLatin1String("sspi") || value == QLatin1String("true") || value == QLatin1String("yes"))
        return true;
    if (value == QLatin1String("false") || value == QLatin1String("no"))
        return false;
    refuseValue(*pair, QStringLiteral("\"%1\" must be SSPI, True or False."));
}

ServerTrust serverTrustOf(const Properties& properties)
{
    const bool trustAny = isTrue(find(properties, Property::TrustServerCertificate));
    const Pair* pinned = find(properties, Property::ServerCertificate);
    if (pinned && trustAny)
        refuseValue(*pinned,
                    QStringLiteral("\"%1\" accepts one certificate and \"Trust Server Certificate=True\" "
                                   "any: use one of them."));
    if (pinned) {
        if (!QFileInfo(pinned->value).isReadable())
            refuseValue(*pinned, QStringLiteral("The certificate file that \"%1\" names cannot be read."));
        return ServerTrust::Pinned;
    }
    return trustAny || !encryptionRequired(properties) ? ServerTrust::Unchecked : ServerTrust::Authorities;
}

QString freeTdsString(const std::vector<Pair>& pairs, const Properties& properties, const ServerAddress& address)
{
    const QString host = hostOrLocalhost(address.host);
    const bool verified = serverTrustOf(properties) != ServerTrust::Unchecked;
    if (verified && address.dataSource)
        checkVerifiableHost(host, address.dataSource);
    QStringList keywords {
        pairText(QStringLiteral("Driver"), DriverName(SqlServerDriver::FreeTds)),
        verified ? pairText(QStringLiteral("Servername"), QString::fromLatin1(kFreeTdsTrustSection))
                 : pairText(QStringLiteral("Server"),
                            address.dataSource ? quoteForFreeTds(host, *address.dataSource) : host),
    };
    if (address.instance.isEmpty())
        keywords.append(pairText(QStringLiteral("Port"), QString::number(address.port)));

    checkNetworkLibrary(find(properties, Property::NetworkLibrary));
    checkKnownKeywords(pairs);

    keywords.append(pairText(QStringLiteral("TDS_Version"), QStringLiteral("7.4")));
    keywords.append(pairText(QStringLiteral("ClientCharset"), QStringLiteral("UTF-8")));
    keywords.append(pairText(QStringLiteral("Encryption"),
                             encryptionRequired(properties) ? QStringLiteral("require") : QStringLiteral("request")));
    if (const Pair* pair = find(properties, Property::PacketSize))
        keywords.append(pairText(QStringLiteral("PacketSize"), QString::number(packetSizeOf(*pair))));
    appendLogin(keywords, properties, &quoteForFreeTds);
    return keywords.join(QLatin1Char(';')) + QLatin1Char(';');
}

QString quoteByOdbcRule(const QString& value)
{
    static const QString special = QStringLiteral(";{}=");
    bool braces = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
    for (const QChar character : value)
        braces = braces || special.contains(character);
    if (!braces)
        return value;
    QString braced = value;
    braced.replace(QLatin1Char('}'), QLatin1String("}}"));
    return QLatin1Char('{') + braced + QLatin1Char('}');
}

QString microsoftString(const std::vector<Pair>& pairs, const Properties& properties, const ServerAddress& address,
                        SqlServerDriver driver)
{
    checkNetworkLibrary(find(properties, Property::NetworkLibrary));
    checkKnownKeywords(pairs);

    const bool currentDriver = driver == SqlServerDriver::OdbcDriver18 || driver == SqlServerDriver::OdbcDriver17;
    const Quote quote = currentDriver ? Quote([](const QString& value, const Pair&) { return quoteByOdbcRule(value); })
                                      : Quote(&quoteForOlderMicrosoftDriver);
    const bool classicDriver = driver == SqlServerDriver::SqlServer;
    const QString host
        = classicDriver && isThisComputer(address.host) ? QStringLiteral("(local)") : hostOrLocalhost(address.host);
    const QString server = (classicDriver ? QString() : QStringLiteral("tcp:")) + host
        + (address.instance.isEmpty() ? QLatin1Char(',') + QString::number(address.port)
                                      : QLatin1Char('\\') + address.instance);

    QStringList keywords { pairText(QStringLiteral("Driver"),
                                    QLatin1Char('{') + DriverName(driver) + QLatin1Char('}')) };
    keywords.append(
        pairText(QStringLiteral("Server"), address.dataSource ? quote(server, *address.dataSource) : server));
    const bool encrypt = encryptionRequired(properties);
    if (classicDriver) {
        keywords.append(pairText(QStringLiteral("Network"), QStringLiteral("DBMSSOCN")));
        // This driver has no keyword to encrypt without verifying the server's certificate; a
        // request for encryption must not end in a connection without it.
        if (encrypt)
            refuseValue(*find(properties, Property::UseEncryption),
                        QStringLiteral("The \"SQL Server\" ODBC driver, the only SQL Server driver found on "
                                       "this computer, cannot encrypt the connection as \"%1\" asks. Install "
                                       "ODBC Driver 18 for SQL Server to connect with encryption."));
    } else {
        keywords.append(pairText(QStringLiteral("Encrypt"), encrypt ? QStringLiteral("yes") : QStringLiteral("no")));
        // Unverified unless the string asks for a verified server: most servers have only the
        // self-signed certificate SQL Server makes.
        const ServerTrust trust = serverTrustOf(properties);
        keywords.append(pairText(QStringLiteral("TrustServerCertificate"),
                                 trust == ServerTrust::Unchecked ? QStringLiteral("yes") : QStringLiteral("no")));
        if (trust == ServerTrust::Pinned) {
            const Pair* pinned = find(properties, Property::ServerCertificate);
            if (driver != SqlServerDriver::OdbcDriver18)
                refuseValue(*pinned,
                            QStringLiteral("Only ODBC Driver 18 for SQL Server accepts \"%1\"; install it, "
                                           "or trust the server's authority on this computer."));
            keywords.append(pairText(QStringLiteral("ServerCertificate"), quote(pinned->value, *pinned)));
        }
    }
    appendLogin(keywords, properties, quote);
    return keywords.join(QLatin1Char(';')) + QLatin1Char(';');
}

} // namespace quorvane::db::oledb
