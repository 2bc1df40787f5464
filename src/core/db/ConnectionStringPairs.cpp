#include "db/ConnectionStringPairs.h"

#include "db/ErrorNumbers.h"
#include "support/Failure.h"

namespace quorvane::db::oledb {

namespace {

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
            { QStringLiteral("trust server certificate"), Property::TrustServerCertificate },
            { QStringLiteral("server certificate"), Property::ServerCertificate },
            { QStringLiteral("network library"), Property::NetworkLibrary },
            { QStringLiteral("persist security info"), Property::PersistSecurityInfo },
            { QStringLiteral("integrated security"), Property::IntegratedSecurity },
            { QStringLiteral("trusted_connection"), Property::IntegratedSecurity },
        };
        const auto found = names.find(keyword.toLower());
        return found == names.end() ? Property::Unknown : found->second;
    }

    const QString kPasswordQuotingHint = QStringLiteral(
        "A password that contains \";\" or starts with a quotation mark must be enclosed in quotation marks, "
        "with every quotation mark inside it doubled.");

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

} // namespace

[[noreturn]] void refuse(const QString& description)
{
    throw Failure(kErrorBadConnectionString, description);
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

[[noreturn]] void refuseValue(const Pair& pair, const QString& description)
{
    if (pair.mayHoldPassword)
        refuseAfterPassword();
    refuse(description.arg(pair.keyword));
}

QString pairText(const QString& keyword, const QString& value)
{
    return keyword + QLatin1Char('=') + value;
}

} // namespace quorvane::db::oledb
