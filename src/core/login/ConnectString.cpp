#include "login/ConnectString.h"

namespace quorvane {

namespace {

    bool needsQuoting(const QString& password)
    {
        if (password.isEmpty())
            return false;
        return password.contains(QLatin1Char(';')) || password.contains(QLatin1Char('"'))
            || password.contains(QLatin1Char('\'')) || password.front().isSpace() || password.back().isSpace();
    }

    bool isPasswordKeyword(QStringView keyword)
    {
        const QStringView name = keyword.trimmed();
        return name.compare(u"password", Qt::CaseInsensitive) == 0 || name.compare(u"pwd", Qt::CaseInsensitive) == 0;
    }

    // Where the value of the pair that starts at `position` ends: after its closing quote (a
    // doubled quote inside stands for one) or at the next ";".
    qsizetype valueEnd(const QString& text, qsizetype position)
    {
        while (position < text.size() && text.at(position).isSpace())
            ++position;
        if (position < text.size() && (text.at(position) == u'"' || text.at(position) == u'\'')) {
            const QChar quote = text.at(position++);
            for (;;) {
                const qsizetype closing = text.indexOf(quote, position);
                if (closing < 0)
                    return text.size();
                position = closing + 1;
                if (position >= text.size() || text.at(position) != quote)
                    break;
                ++position;
            }
        }
        const qsizetype semicolon = text.indexOf(u';', position);
        return semicolon < 0 ? text.size() : semicolon;
    }

} // namespace

QString ReplacePlaceholder(const QString& text, const QString& placeholder, const QString& value)
{
    QString result = text;
    return result.replace(placeholder, value, Qt::CaseSensitive);
}

QString BuildConnectionString(const QString& strConnectTemplate, const QString& strServer, const QString& strDB,
                              const QString& strUser)
{
    QString s = ReplacePlaceholder(strConnectTemplate, QStringLiteral("%SERVER%"), strServer);
    s = ReplacePlaceholder(s, QStringLiteral("%DB%"), strDB);
    return ReplacePlaceholder(s, QStringLiteral("%USER%"), strUser);
}

QString PasswordValue(const QString& strPassword)
{
    if (!needsQuoting(strPassword))
        return strPassword;
    QString inner = strPassword;
    inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + inner + QLatin1Char('"');
}

QString ConnectStringWithPassword(const QString& strConnectText, const QString& strPassword)
{
    // Only the value of a Password (or PWD) pair receives the password: a placeholder typed into
    // the database, the user or the application name stays as it is, so the password never ends up
    // in a name the server logs or shows to other sessions.
    const QString placeholder = QStringLiteral("%PW%");
    const QString password = PasswordValue(strPassword);
    QString result;
    qsizetype position = 0;
    while (position < strConnectText.size()) {
        const qsizetype equals = strConnectText.indexOf(u'=', position);
        const qsizetype semicolon = strConnectText.indexOf(u';', position);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // Not a keyword=value pair: kept as it is, and the connect refuses it.
            const qsizetype end = semicolon < 0 ? strConnectText.size() : semicolon + 1;
            result += strConnectText.mid(position, end - position);
            position = end;
            continue;
        }
        const qsizetype end = valueEnd(strConnectText, equals + 1);
        const QString value = strConnectText.mid(equals + 1, end - equals - 1);
        result += strConnectText.mid(position, equals + 1 - position);
        result += isPasswordKeyword(QStringView(strConnectText).mid(position, equals - position))
            ? ReplacePlaceholder(value, placeholder, password)
            : value;
        if (end < strConnectText.size())
            result += u';';
        position = end + 1;
    }
    return result;
}

} // namespace quorvane
