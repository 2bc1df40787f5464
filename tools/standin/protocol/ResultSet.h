#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <variant>

namespace standin {

// A result column: nvarchar(n) text, varbinary(n) bytes, a 4-byte int or an 8-byte bigint.
struct ColumnDef
{
    enum class Kind { NVarChar, VarBinary, Int, BigInt };
    QString name;
    Kind kind = Kind::NVarChar;
    int maxLength = 128; // characters for NVarChar, bytes for VarBinary
};

using Cell = std::variant<QString, QByteArray, std::int32_t, std::int64_t>;
using Row = QList<Cell>;

// The rows a SELECT answers, in the order they are sent.
struct ResultSet
{
    QList<ColumnDef> columns;
    QList<Row> rows;
};

} // namespace standin
