#include "StatementLog.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace standin {

StatementLog::StatementLog(const QString& path)
    : m_file(path)
{
    m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void StatementLog::append(int connection, const QString& database, const QString& sql)
{
    if (!m_file.isOpen())
        return;
    const QJsonObject line { { QStringLiteral("connection"), connection },
                             { QStringLiteral("database"), database },
                             { QStringLiteral("sql"), sql } };
    m_file.write(QJsonDocument(line).toJson(QJsonDocument::Compact));
    m_file.write("\n");
    m_file.flush();
}

} // namespace standin
