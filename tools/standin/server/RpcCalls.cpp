#include "server/RpcCalls.h"

#include "protocol/Packet.h"
#include "protocol/Rpc.h"
#include "sql/ServerErrors.h"

namespace standin {

RpcCalls::RpcCalls(EngineHost& host, int connection, BatchEngine& engine, Reply reply)
    : m_host(host)
    , m_connection(connection)
    , m_engine(engine)
    , m_reply(std::move(reply))
{ }

void RpcCalls::handle(const QByteArray& payload, std::uint32_t tdsVersion, bool encrypted)
{
    const auto request = parseRpc(payload, afterAllHeaders(payload, tdsVersion));
    const auto parameterText = [&](int index) {
        return request && index < request->parameters.size() ? request->parameters[index].text : QString();
    };
    const auto answer = [&](const SqlMessages& messages, std::optional<int> handle) {
        TokenWriter out(tdsVersion);
        for (const SqlMessage& message : messages)
            out.message(message, errors::kServerName);
        out.returnStatus(messages.isEmpty() ? 0 : -6);
        if (handle)
            out.returnValue(0, QString(), *handle);
        out.done(messages.isEmpty() ? DoneStatus::Final : DoneStatus::Error, 0, 0, DoneToken::DoneProc);
        m_reply(out.take());
    };
    if (!request) {
        m_host.unexpectedBatch(m_connection, QStringLiteral("<unreadable remote procedure call>"));
        return answer({ { 8009, 1, 16,
                          QStringLiteral("The incoming tabular data stream (TDS) remote procedure call (RPC) protocol "
                                         "stream is incorrect.") } },
                      std::nullopt);
    }
    const QString& procedure = request->procedure;
    if (procedure == u"sp_executesql")
        return m_engine.runSql(parameterText(0), encrypted, true);
    if (procedure == u"sp_prepexec" || procedure == u"sp_prepare") {
        const int handle = m_nextHandle++;
        m_prepared.insert(handle, parameterText(2));
        if (procedure == u"sp_prepare")
            return answer({}, handle);
        return m_engine.runSql(parameterText(2), encrypted, true, handle);
    }
    const int handle = request->parameters.isEmpty() ? 0 : static_cast<int>(request->parameters.first().integer);
    if (procedure == u"sp_execute" && m_prepared.contains(handle))
        return m_engine.runSql(m_prepared.value(handle), encrypted, true);
    if (procedure == u"sp_unprepare") {
        m_prepared.remove(handle);
        return answer({}, std::nullopt);
    }
    m_host.unexpectedBatch(m_connection, QStringLiteral("<remote procedure call %1>").arg(procedure));
    answer({ { 2812, 62, 16, QStringLiteral("Could not find stored procedure '%1'.").arg(procedure) } }, std::nullopt);
}

} // namespace standin
