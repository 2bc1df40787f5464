#include "db/ConnectionString.h"

#include "db/ErrorNumbers.h"
#include "log/Failure.h"

#include <QStringList>
#include <map>
#include <optional>
#include <vector>

namespace quorvane::db {

namespace {

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
        NetworkLibrary,
        PersistSecurityInfo,
        Unknown,
    };

    Property propertyOf(const QString& keyword)
    {
        static const std::map<QString, Property> names {
            { QStringLiteral("provider"), Property::Provider },
            { QStringLiteral("data source"), Property::DataSource },
            { QStringLiteral("server"), Property::DataSource },
            { QStringLiteral("address"), Property::DataSource },
            { QStringLiteral("addr"), Property::DataSource },
            { QStringLiteral("network address"), Property::DataSource },
            { QStringLiteral("initial catalog"), Property::InitialCatalog },
            { QStringLiteral("database"), Property::InitialCatalog },
            { QStringLiteral("user id"), Property::UserId },
            { QStringLiteral("uid"), Property::UserId },
            { QStringLiteral("password"), Property::Password },
            { QStringLiteral("pwd"), Property::Password },
            { QStringLiteral("connect timeout"), Property::ConnectTimeout },
            { QStringLiteral("connection timeout"), Property::ConnectTimeout },
            { QStringLiteral("application name"), Property::ApplicationName },
            { QStringLiteral("workstation id"), Property::WorkstationId },
            { QStringLiteral("packet size"), Property::PacketSize },
            { QStringLiteral("use encryption for data"), Property::UseEncryption },
            { QStringLiteral("network library"), Property::NetworkLibrary },
            { QStringLiteral("persist security info"), Property::PersistSecurityInfo },
        };
        const auto found = names.find(keyword.toLower());
        return found == names.end() ? Property::Unknown : found->second;
    }

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

    const QString kPasswordQuotingHint = QStringLiteral(
        "A password that contains \";\" or starts with a quotation mark must be enclosed in quotation marks, "
        "with every quotation mark inside it doubled.");

    [[noreturn]] void refuse(const QString& description)
    {
        throw Failure(kErrorBadConnectionString, description);
    }

    [[noreturn]] void refuseFormat()
    {
        refuse(QStringLiteral("The connection string is not well formed: every part must read keyword=value, separated "
                              "by semicolons. ")
               + kPasswordQuotingHint);
    }

    qsizetype skipBlanks(const QString& text, qsizetype position)
    {
        while (position < text.size() && text.at(position).isSpace())
            ++position;
        return position;
    }

    // Reads a value quoted with ' or " starting at `position` (the opening quote); a doubled quote
    // inside stands for one. Returns the position after the closing quote.
    qsizetype readQuotedValue(const QString& text, qsizetype position, QString& value)
    {
        const QChar quote = text.at(position++);
        for (;;) {
            const qsizetype closing = text.indexOf(quote, position);
            if (closing < 0)
                refuseFormat();
            value += text.mid(position, closing - position);
            position = closing + 1;
            if (position < text.size() && text.at(position) == quote) {
                value += quote;
                ++position;
                continue;
            }
            return position;
        }
    }

    std::vector<Pair> parse(const QString& text)
    {
        std::vector<Pair> pairs;
        bool behindPassword = false;
        qsizetype position = 0;
        while (position < text.size()) {
            position = skipBlanks(text, position);
            if (position >= text.size())
                break;
            if (text.at(position) == QLatin1Char(';')) {
                ++position;
                continue;
            }
            const qsizetype equals = text.indexOf(QLatin1Char('='), position);
            const qsizetype semicolon = text.indexOf(QLatin1Char(';'), position);
            if (equals < 0 || (semicolon >= 0 && semicolon < equals))
                refuseFormat();
            Pair pair;
            pair.keyword = text.mid(position, equals - position).trimmed();
            if (pair.keyword.isEmpty())
                refuseFormat();
            pair.property = propertyOf(pair.keyword);
            pair.mayHoldPassword = behindPassword;

            position = skipBlanks(text, equals + 1);
            if (position < text.size()
                && (text.at(position) == QLatin1Char('\'') || text.at(position) == QLatin1Char('"'))) {
                pair.quoted = true;
                position = skipBlanks(text, readQuotedValue(text, position, pair.value));
                if (position < text.size() && text.at(position) != QLatin1Char(';'))
                    refuseFormat();
            } else {
                const qsizetype end = semicolon < 0 ? text.size() : semicolon;
                pair.value = text.mid(position, end - position).trimmed();
                position = end;
            }
            ++position; // past the ";"

            if (pair.property == Property::Password && !pair.quoted)
                behindPassword = true;
            pairs.push_back(std::move(pair));
        }
        return pairs;
    }

    // The last pair of each property; later pairs replace earlier ones.
    using Properties = std::map<Property, Pair>;

    Properties lastOfEach(const std::vector<Pair>& pairs)
    {
        Properties properties;
        for (const Pair& pair : pairs)
            properties[pair.property] = pair;
        return properties;
    }

    const Pair* find(const Properties& properties, Property property)
    {
        const auto found = properties.find(property);
        return found == properties.end() ? nullptr : &found->second;
    }

    [[noreturn]] void refuseAfterPassword()
    {
        refuse(QStringLiteral("The connection string cannot be read after the password. ") + kPasswordQuotingHint);
    }

    // Refuses the value of a pair with a description that names its keyword ("%1"), unless the pair
    // may be part of the password.
    [[noreturn]] void refuseValue(const Pair& pair, const QString& description)
    {
        if (pair.mayHoldPassword)
            refuseAfterPassword();
        refuse(description.arg(pair.keyword));
    }

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

    QString pairText(const QString& keyword, const QString& value)
    {
        return keyword + QLatin1Char('=') + value;
    }

    // FreeTDS 1.3 reads a value in braces up to the first "}" that a ";" follows, takes "}}" as two
    // characters, and keeps the closing brace of a braced value at the very end of the string. So
    // braces go only around values that need them (a ";", a leading "{" or blanks at either end),
    // "}" is never doubled, every pair ends with ";", and a value holding "};" cannot be passed.
    QString quoteForFreeTds(const QString& value, const Pair& pair)
    {
        const bool needsBraces = value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('{'))
            || (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
        if (!needsBraces)
            return value;
        if (value.contains(QLatin1String("};"))) {
            if (pair.property == Property::Password || pair.mayHoldPassword)
                refuse(QStringLiteral("The password holds a sequence of characters that the SQL Server driver cannot "
                                      "receive."));
            refuseValue(pair,
                        QStringLiteral("\"%1\" holds \"}\" followed by \";\", which the SQL Server driver cannot "
                                       "receive."));
        }
        return QLatin1Char('{') + value + QLatin1Char('}');
    }

    // "host", "host,port" or "host\instance" as the driver's Server and Port keywords.
    QStringList serverKeywords(const Pair* dataSource)
    {
        QString host = dataSource ? dataSource->value : QString();
        int port = 0;
        const qsizetype comma = host.lastIndexOf(QLatin1Char(','));
        if (comma >= 0) {
            bool ok = false;
            port = host.mid(comma + 1).trimmed().toInt(&ok);
            if (!ok || port < 1 || port > 65535)
                refuseValue(*dataSource, QStringLiteral("The port in \"%1\" must be a number from 1 to 65535."));
            host = host.left(comma).trimmed();
            // A port given with an instance name wins over the instance, as with the classic provider.
            const qsizetype backslash = host.indexOf(QLatin1Char('\\'));
            if (backslash >= 0)
                host.truncate(backslash);
        }
        const bool namesInstance = host.contains(QLatin1Char('\\'));
        // The classic provider's names for the server on this computer.
        if (host.isEmpty() || host == QLatin1String(".")
            || host.compare(QLatin1String("(local)"), Qt::CaseInsensitive) == 0)
            host = QStringLiteral("localhost");
        else if (host.startsWith(QLatin1String(".\\"))
                 || host.startsWith(QLatin1String("(local)\\"), Qt::CaseInsensitive))
            host = QStringLiteral("localhost") + host.mid(host.indexOf(QLatin1Char('\\')));

        QStringList keywords { pairText(QStringLiteral("Server"),
                                        dataSource ? quoteForFreeTds(host, *dataSource) : host) };
        if (port == 0 && !namesInstance)
            port = kDefaultSqlServerPort;
        // With an instance name and no port, the driver asks the server's browser service for the port.
        if (port != 0)
            keywords.append(pairText(QStringLiteral("Port"), QString::number(port)));
        return keywords;
    }

    QString encryptionOf(const Properties& properties)
    {
        const Pair* pair = find(properties, Property::UseEncryption);
        if (!pair)
            return QStringLiteral("request");
        const QString value = pair->value.toLower();
        if (value == QLatin1String("true") || value == QLatin1String("yes"))
            return QStringLiteral("require");
        if (value == QLatin1String("false") || value == QLatin1String("no"))
            return QStringLiteral("request");
        refuseValue(*pair, QStringLiteral("\"%1\" must be True or False."));
    }

    QString packetSizeOf(const Pair& pair)
    {
        bool ok = false;
        const int bytes = pair.value.toInt(&ok);
        if (!ok || bytes < 512 || bytes > 32767)
            refuseValue(pair, QStringLiteral("\"%1\" must be a number of bytes from 512 to 32767."));
        return QString::number(bytes);
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

    // SQL Server through the platform's driver. The TDS version, port, encryption and character set
    // are always given so that freetds.conf and the TDSVER variable cannot change them: without an
    // explicit version the driver may fall back to an old login that sends the password in clear
    // text and ignores the login time-out.
    QString sqlServerString(const std::vector<Pair>& pairs, const Properties& properties)
    {
        checkNetworkLibrary(find(properties, Property::NetworkLibrary));
        checkKnownKeywords(pairs);

        QStringList keywords { pairText(QStringLiteral("Driver"), QLatin1String(kSqlServerOdbcDriver)) };
        keywords += serverKeywords(find(properties, Property::DataSource));
        keywords.append(pairText(QStringLiteral("TDS_Version"), QStringLiteral("7.4")));
        keywords.append(pairText(QStringLiteral("ClientCharset"), QStringLiteral("UTF-8")));
        keywords.append(pairText(QStringLiteral("Encryption"), encryptionOf(properties)));
        if (const Pair* pair = find(properties, Property::PacketSize))
            keywords.append(pairText(QStringLiteral("PacketSize"), packetSizeOf(*pair)));

        const std::pair<Property, QString> passedOn[] = {
            { Property::InitialCatalog, QStringLiteral("Database") },
            { Property::ApplicationName, QStringLiteral("APP") },
            { Property::WorkstationId, QStringLiteral("WSID") },
            { Property::UserId, QStringLiteral("UID") },
            { Property::Password, QStringLiteral("PWD") },
        };
        for (const auto& [property, odbcKeyword] : passedOn) {
            if (const Pair* pair = find(properties, property))
                keywords.append(pairText(odbcKeyword, quoteForFreeTds(pair->value, *pair)));
        }
        return keywords.join(QLatin1Char(';')) + QLatin1Char(';');
    }

    // Brace-quotes a value by the ODBC rule (every "}" inside doubled) when a driver could misread it.
    QString quoteByOdbcRule(const QString& value)
    {
        static const QString special = QStringLiteral(";{}=");
        bool needsBraces = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
        for (const QChar character : value)
            needsBraces = needsBraces || special.contains(character);
        if (!needsBraces)
            return value;
        QString braced = value;
        braced.replace(QLatin1Char('}'), QLatin1String("}}"));
        return QLatin1Char('{') + braced + QLatin1Char('}');
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

OdbcConnectRequest TranslateConnectionString(const QString& oleDbString)
{
    const std::vector<Pair> pairs = parse(oleDbString);
    const Properties properties = lastOfEach(pairs);

    OdbcConnectRequest request;
    const Provider provider = providerOf(find(properties, Property::Provider));
    request.loginTimeoutSeconds = loginTimeoutOf(properties);
    request.connectionString
        = provider == Provider::SqlOleDb ? sqlServerString(pairs, properties) : passThroughString(pairs);
    return request;
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

} // namespace quorvane::db
