#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace standin {

// One parameter of a remote procedure call, as far as the stand-in reads it: text or integer.
struct RpcParameter
{
    QString name;
    bool output = false;
    bool isNull = true;
    QString text;
    std::int64_t integer = 0;
};

// A remote procedure call: the prepared-statement procedures ODBC drivers use to run SQL.
struct RpcRequest
{
    QString procedure; // lower case, e.g. "sp_prepexec"
    QList<RpcParameter> parameters;
};

// Reads an RPC request; nothing when it holds a parameter type the stand-in cannot read.
std::optional<RpcRequest> parseRpc(const QByteArray& payload, qsizetype start);

} // namespace standin
