#pragma once

#include <QString>

// Reads a value back out of an ODBC connection string as the driver does. A value in braces ends
// by the ODBC rule ("}}" stands for "}"), or as FreeTDS 1.3 reads it: at the first "}" that a ";"
// follows, "}}" kept as two characters (measured).
inline QString driverReads(const QString& odbc, const QString& keyword, bool freeTds)
{
    const qsizetype start = odbc.indexOf(QLatin1Char(';') + keyword + QLatin1Char('=')) + keyword.size() + 2;
    if (odbc.at(start) != QLatin1Char('{'))
        return odbc.mid(start, odbc.indexOf(QLatin1Char(';'), start) - start);
    if (freeTds)
        return odbc.mid(start + 1, odbc.indexOf(QLatin1String("};"), start) - start - 1);
    QString value;
    for (qsizetype i = start + 1; odbc.at(i) != QLatin1Char('}') || odbc.at(++i) == QLatin1Char('}'); ++i)
        value += odbc.at(i);
    return value;
}
