#include "db/DriverConnectionString.h"

#include "db/ConnectionStringPairs.h"
#include "db/ServerTrust.h"
#include "db/SqlServerKeywords.h"
#include "support/Failure.h"

#include <QStringList>
#include <vector>

namespace quorvane::db {

using namespace oledb;

namespace {

    enum class Provider { SqlOleDb, MsDaSql };

    Provider providerOf(const Pair* pair)
    {
        if (!pair)
            return Provider::SqlOleDb;
        QString name = pair->value.toLower();
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        if (dot > 0) {
            bool numeric = false;
            name.mid(dot + 1).toInt(&numeric);
            if (numeric)
                name.truncate(dot);
        }
        if (name == QLatin1String("sqloledb"))
            return Provider::SqlOleDb;
        if (name == QLatin1String("msdasql"))
            return Provider::MsDaSql;
        if (pair->mayHoldPassword)
            refuseAfterPassword();
        refuse(QStringLiteral("The provider \"%1\" is not available. Use SQLOLEDB for SQL Server or MSDASQL for an "
                              "ODBC driver.")
                   .arg(pair->value));
    }

    int loginTimeoutOf(const Properties& properties)
    {
        const Pair* pair = find(properties, Property::ConnectTimeout);
        if (!pair)
            return kDefaultConnectTimeoutSeconds;
        bool ok = false;
        const int seconds = pair->value.toInt(&ok);
        if (!ok || seconds < 0)
            refuseValue(*pair, QStringLiteral("\"%1\" must be a whole number of seconds."));
        return seconds;
    }

    bool isBraced(const QString& value)
    {
        return value.size() >= 2 && value.startsWith(QLatin1Char('{')) && value.endsWith(QLatin1Char('}'));
    }

    // Any ODBC driver or DSN: the keywords go on as written, without the ones that belong to the
    // OLE DB layer itself. A value written in ODBC braces ({ODBC Driver 18 for SQL Server}) stays so.
    QString passThroughString(const std::vector<Pair>& pairs)
    {
        std::vector<const Pair*> kept;
        for (const Pair& pair : pairs) {
            if (pair.property == Property::Provider || pair.property == Property::ConnectTimeout
                || pair.property == Property::PersistSecurityInfo)
                continue;
            std::erase_if(kept, [&pair](const Pair* earlier) {
                return earlier->keyword.compare(pair.keyword, Qt::CaseInsensitive) == 0;
            });
            kept.push_back(&pair);
        }
        QStringList keywords;
        for (const Pair* pair : kept) {
            const bool keepAsWritten = !pair->quoted && isBraced(pair->value);
            keywords.append(pairText(pair->keyword, keepAsWritten ? pair->value : quoteByOdbcRule(pair->value)));
        }
        return keywords.join(QLatin1Char(';')) + QLatin1Char(';');
    }

} // namespace

OdbcConnectRequest TranslateConnectionString(const QString& oleDbString,
                                             const std::function<SqlServerDriver()>& sqlServerDriver)
{
    const std::vector<Pair> pairs = parse(oleDbString);
    const Properties properties = lastOfEach(pairs);

    OdbcConnectRequest request;
    const Provider provider = providerOf(find(properties, Property::Provider));
    request.loginTimeoutSeconds = loginTimeoutOf(properties);
    if (provider == Provider::MsDaSql) {
        request.connectionString = passThroughString(pairs);
        return request;
    }
    const ServerAddress address = serverAddressOf(find(properties, Property::DataSource));
    request.driver = sqlServerDriver();
    request.integratedSecurity = integratedSecurityOf(properties);
    if (request.driver != SqlServerDriver::FreeTds) {
        request.connectionString = microsoftString(pairs, properties, address, request.driver);
        if (const Pair* pair = find(properties, Property::PacketSize))
            request.packetSizeBytes = packetSizeOf(*pair);
        return request;
    }
    request.connectionString = freeTdsString(pairs, properties, address);
    request.serverHost = hostOrLocalhost(address.host);
    request.serverPort = address.port;
    request.serverTrust = serverTrustOf(properties);
    if (request.serverTrust == ServerTrust::Pinned)
        request.trustedCertificates = find(properties, Property::ServerCertificate)->value;
    else if (request.serverTrust == ServerTrust::Authorities)
        request.trustedCertificates = systemAuthorities();
    if (!address.instance.isEmpty()) {
        request.browserHost = hostOrLocalhost(address.host);
        request.instanceName = address.instance;
    }
    return request;
}

OdbcConnectRequest TranslateConnectionString(const QString& oleDbString, SqlServerDriver driver)
{
    return TranslateConnectionString(oleDbString, [driver] { return driver; });
}

ConnectionTarget DescribeConnectionTarget(const QString& oleDbString)
{
    Properties properties;
    try {
        properties = lastOfEach(parse(oleDbString));
    } catch (const Failure&) {
        return {};
    }
    const auto shown = [&properties](Property property) {
        const Pair* pair = find(properties, property);
        return pair && !pair->mayHoldPassword ? pair->value : QString();
    };
    return { shown(Property::DataSource), shown(Property::InitialCatalog) };
}

Failure IntegratedSecurityFailure(const Failure& failure)
{
    return Failure(failure.number(),
                   failure.description()
                       + QStringLiteral(" Integrated Security logs in as the Windows account of this computer and "
                                        "needs its Kerberos ticket, which may be missing. Remove Integrated Security "
                                        "from the connection string and type the user name as DOMAIN\\user with "
                                        "its password instead."));
}

} // namespace quorvane::db
