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
    return ReplacePlaceholder(strConnectText, QStringLiteral("%PW%"), PasswordValue(strPassword));
}

} // namespace quorvane
