#pragma once

#include <QString>

namespace quorvane {

// The connection string the login window starts every rebuild from: sqloledb over TCP/IP on port
// 1433 with SQL Server authentication. The password placeholder stays in it on screen.
inline constexpr char16_t kConnectTemplate[] = u"Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%SERVER%,1433;"
                                               u"Initial Catalog=%DB%;User ID=%USER%;Password=%PW%;";

// Every occurrence of placeholder in text replaced by value: from the first character, left to
// right, non-overlapping, case-sensitive; the inserted value is not searched again.
QString ReplacePlaceholder(const QString& text, const QString& placeholder, const QString& value);

// The on-screen connection string: the template with "%SERVER%", then "%DB%", then "%USER%"
// replaced by the field texts as typed. A later step also fills a placeholder that an earlier
// field's text brought in; "%PW%" is left in place.
QString BuildConnectionString(const QString& strConnectTemplate, const QString& strServer, const QString& strDB,
                              const QString& strUser);

// The password as it goes into the string at CONNECT. A password the connection-string parser
// would split, strip or unquote (one holding ";", a quote character, or blanks at either end)
// becomes one double-quoted value with inner double quotes doubled; any other goes in as typed.
QString PasswordValue(const QString& strPassword);

// The connection string with password: every "%PW%" inside the value of a Password or PWD pair of
// the text the user sees replaced by the password value; elsewhere it stays literal. The shown
// text itself is never changed.
QString ConnectStringWithPassword(const QString& strConnectText, const QString& strPassword);

} // namespace quorvane
