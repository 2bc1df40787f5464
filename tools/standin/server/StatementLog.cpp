#include "server/StatementLog.h"

#include <QJsonDocument>

namespace standin {

StatementLog::StatementLog(const QString& path)
    : m_file(path)
{
    m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void StatementLog::appendBatch(int connection, const QString& database, const QString& sql, bool encrypted)
{
    append({ { QStringLiteral("connection"), connection },
             { QStringLiteral("database"), database },
             { QStringLiteral("encrypted"), encrypted },
             { QStringLiteral("sql"), sql } });
}

void StatementLog::appendLogin(int connection, const QString& authentication, bool encrypted)
{
    append({ { QStringLiteral("connection"), connection },
             { QStringLiteral("encrypted"), encrypted },
             { QStringLiteral("login"), authentication } });
}

void StatementLog::appendTransactionRequest(int connection, const QString& request, bool encrypted)
{
    append({ { QStringLiteral("connection"), connection },
             { QStringLiteral("encrypted"), encrypted },
             { QStringLiteral("transaction_request"), request } });
}

void StatementLog::appendAttention(int connection, bool encrypted)
{
    append({ { QStringLiteral("attention"), true },
             { QStringLiteral("connection"), connection },
             { QStringLiteral("encrypted"), encrypted } });
}

void StatementLog::append(const QJsonObject& line)
{
    if (!m_file.isOpen())
        return;
    m_file.write(QJsonDocument(line).toJson(QJsonDocument::Compact));
    m_file.write("\n");
    m_file.flush();
}

} // namespace standin
