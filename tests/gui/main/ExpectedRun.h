#pragma once

#include "support/StandinWindow.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>

// What a fix run is expected to send and show, written out in full.
namespace quorvane::test {

inline const QString kErrorMessage
    = QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details.");

// A name between the opening and closing mark, a closing mark inside it doubled.
inline QString enclosed(QString name, QChar open, QChar close)
{
    return open + name.replace(close, QString(2, close)) + close;
}

inline QString bracketed(const QString& name)
{
    return enclosed(name, QLatin1Char('['), QLatin1Char(']'));
}

// The three statements of one rebuild of a table whose key is named "<table>$0".
inline QString keyQuery(const QString& table)
{
    return QStringLiteral("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE "
                          "isKCU.CONSTRAINT_NAME = %1 AND isKCU.TABLE_NAME = %2 ORDER BY isKCU.ORDINAL_POSITION")
        .arg(enclosed(table + "$0", '\'', '\''), enclosed(table, '\'', '\''));
}

inline QString dropStatement(const QString& table)
{
    return QStringLiteral("ALTER TABLE dbo.%1 DROP CONSTRAINT %2").arg(bracketed(table), bracketed(table + "$0"));
}

inline QString addStatement(const QString& table, const QStringList& columns)
{
    QStringList list;
    for (const QString& column : columns)
        list.append(bracketed(column));
    return QStringLiteral("ALTER TABLE dbo.%1 ADD CONSTRAINT %2 PRIMARY KEY CLUSTERED  (%3) ON [PRIMARY]")
        .arg(bracketed(table), bracketed(table + "$0"), list.join(QLatin1Char(',')));
}

inline QStringList rebuildStatements(const QString& table, const QStringList& columns = { "No_" })
{
    return { keyQuery(table), dropStatement(table), addStatement(table, columns) };
}

inline QString numberedTable(int n)
{
    return QStringLiteral("CRONUS$T%1").arg(n);
}

// The on-screen log's lines for rebuilt tables.
inline QString tableLines(const QStringList& tables)
{
    QString text;
    for (const QString& table : tables)
        text += table + QLatin1Char('\t') + table + QStringLiteral("$0\r\n");
    return text;
}

// The on-screen log's line for a table whose rebuild failed.
inline QString failedLine(const QString& table)
{
    return table + QLatin1Char('\t') + table + QStringLiteral("$0  (failed, see ErrorLog.txt)\r\n");
}

// The on-screen log's last line.
inline QString summaryLine(int rebuilt, int failed, int skipped, int notProcessed)
{
    return QStringLiteral("Done: %1 rebuilt, %2 failed, %3 skipped, %4 not processed.\r\n")
        .arg(rebuilt)
        .arg(failed)
        .arg(skipped)
        .arg(notProcessed);
}

} // namespace quorvane::test
