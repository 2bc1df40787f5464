#pragma once

#include "sql/BatchEngine.h"

#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>

namespace standin {

// One connection's remote procedure calls: the prepared-statement procedures ODBC drivers run SQL
// with (sp_executesql, sp_prepexec, sp_prepare, sp_execute, sp_unprepare). SQL goes to the batch
// engine; what needs no SQL is answered here.
class RpcCalls
{
public:
    using Reply = std::function<void(const QByteArray& tokens)>;
    RpcCalls(EngineHost& host, int connection, BatchEngine& engine, Reply reply);

    void handle(const QByteArray& payload, std::uint32_t tdsVersion, bool encrypted);

private:
    EngineHost& m_host;
    const int m_connection;
    BatchEngine& m_engine;
    Reply m_reply;
    QHash<int, QString> m_prepared;
    int m_nextHandle = 1;
};

} // namespace standin
