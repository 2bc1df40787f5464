#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <variant>

namespace standin {

// A result column: nvarchar(n) or nchar(n) text, varbinary(n) bytes, a 4-byte int, an 8-byte
// bigint, a 2-byte smallint (whose cells hold an int), or an int that may be NULL. nchar cells are
// sent as given: padding them to n is the statement's job.
struct ColumnDef
{
    enum class Kind { NVarChar, VarBinary, Int, BigInt, SmallInt, NChar, NullableInt };
    QString name;
    Kind kind = Kind::NVarChar;
    int maxLength = 128; // characters for NVarChar, bytes for VarBinary
};

// std::monostate is NULL (for nvarchar, varbinary and nullable int columns).
using Cell = std::variant<QString, QByteArray, std::int32_t, std::int64_t, std::monostate>;
using Row = QList<Cell>;

// The rows a SELECT answers, in the order they are sent.
struct ResultSet
{
    QList<ColumnDef> columns;
    QList<Row> rows;
};

} // namespace standin
