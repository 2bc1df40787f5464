#include "protocol/TokenWriter.h"

#include "protocol/TdsDataTypes.h"

namespace standin {

namespace {
    namespace Token {
        constexpr std::uint8_t ColMetadata = 0x81;
        constexpr std::uint8_t Error = 0xAA;
        constexpr std::uint8_t Info = 0xAB;
        constexpr std::uint8_t LoginAck = 0xAD;
        constexpr std::uint8_t Row = 0xD1;
        constexpr std::uint8_t EnvChange = 0xE3;
        constexpr std::uint8_t ReturnStatus = 0x79;
        constexpr std::uint8_t ReturnValue = 0xAC;
    } // namespace Token

    constexpr std::uint8_t kSqlInterface = 1;
    constexpr std::uint16_t kNullLength = 0xFFFF;

    // Writes a token whose body is preceded by its length in two bytes.
    template <typename Body> void lengthPrefixed(ByteWriter& out, std::uint8_t token, Body&& body)
    {
        out.u8(token);
        const qsizetype lengthAt = out.size();
        out.u16(0);
        body();
        out.patchU16(lengthAt, static_cast<std::uint16_t>(out.size() - lengthAt - 2));
    }
} // namespace

QByteArray serverCollation()
{
    // LCID 0x0409 with the case-insensitive, accent-sensitive flags; sort id 0x34.
    return QByteArray::fromHex("0904d00034");
}

void TokenWriter::loginAck(std::uint32_t tdsVersion, const QString& programName, std::uint32_t programVersion)
{
    lengthPrefixed(m_out, Token::LoginAck, [&] {
        m_out.u8(kSqlInterface);
        m_out.u8(static_cast<std::uint8_t>(tdsVersion >> 24));
        m_out.u8(static_cast<std::uint8_t>(tdsVersion >> 16));
        m_out.u8(static_cast<std::uint8_t>(tdsVersion >> 8));
        m_out.u8(static_cast<std::uint8_t>(tdsVersion));
        m_out.bVarchar(programName);
        m_out.u8(static_cast<std::uint8_t>(programVersion >> 24));
        m_out.u8(static_cast<std::uint8_t>(programVersion >> 16));
        m_out.u8(static_cast<std::uint8_t>(programVersion >> 8));
        m_out.u8(static_cast<std::uint8_t>(programVersion));
    });
}

void TokenWriter::envChange(std::uint8_t type, const QString& newValue, const QString& oldValue)
{
    lengthPrefixed(m_out, Token::EnvChange, [&] {
        m_out.u8(type);
        m_out.bVarchar(newValue);
        m_out.bVarchar(oldValue);
    });
}

void TokenWriter::envChangeBytes(std::uint8_t type, const QByteArray& newValue, const QByteArray& oldValue)
{
    lengthPrefixed(m_out, Token::EnvChange, [&] {
        m_out.u8(type);
        m_out.bVarbyte(newValue);
        m_out.bVarbyte(oldValue);
    });
}

void TokenWriter::message(const SqlMessage& message, const QString& serverName, int line)
{
    lengthPrefixed(m_out, message.isError() ? Token::Error : Token::Info, [&] {
        m_out.u32(static_cast<std::uint32_t>(message.number));
        m_out.u8(static_cast<std::uint8_t>(message.state));
        m_out.u8(static_cast<std::uint8_t>(message.severity));
        m_out.usVarchar(message.text);
        m_out.bVarchar(serverName);
        m_out.bVarchar(QString());
        if (m_tds72)
            m_out.u32(static_cast<std::uint32_t>(line));
        else
            m_out.u16(static_cast<std::uint16_t>(line));
    });
}

void TokenWriter::resultSet(const ResultSet& result)
{
    columns(result.columns);
    for (const Row& r : result.rows)
        row(result.columns, r);
}

void TokenWriter::columns(const QList<ColumnDef>& columns)
{
    m_out.u8(Token::ColMetadata);
    m_out.u16(static_cast<std::uint16_t>(columns.size()));
    for (const ColumnDef& column : columns) {
        if (m_tds72)
            m_out.u32(0);
        else
            m_out.u16(0);
        m_out.u16(column.kind == ColumnDef::Kind::NullableInt ? 0x0001 : 0); // flags: nullable or not, read only
        switch (column.kind) {
        case ColumnDef::Kind::NVarChar:
        case ColumnDef::Kind::NChar:
            m_out.u8(column.kind == ColumnDef::Kind::NChar ? DataType::NChar : DataType::NVarChar);
            m_out.u16(static_cast<std::uint16_t>(column.maxLength * 2));
            m_out.bytes(serverCollation());
            break;
        case ColumnDef::Kind::VarBinary:
            m_out.u8(DataType::BigVarBinary);
            m_out.u16(static_cast<std::uint16_t>(column.maxLength));
            break;
        case ColumnDef::Kind::Int:
            m_out.u8(DataType::Int4);
            break;
        case ColumnDef::Kind::BigInt:
            m_out.u8(DataType::Int8);
            break;
        case ColumnDef::Kind::SmallInt:
            m_out.u8(DataType::Int2);
            break;
        case ColumnDef::Kind::NullableInt:
            m_out.u8(DataType::IntN);
            m_out.u8(4);
            break;
        }
        m_out.bVarchar(column.name);
    }
}

void TokenWriter::row(const QList<ColumnDef>& columns, const Row& row)
{
    m_out.u8(Token::Row);
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const Cell& cell = i < row.size() ? row[i] : Cell {};
        switch (columns[i].kind) {
        case ColumnDef::Kind::NVarChar:
        case ColumnDef::Kind::NChar: {
            const QString* text = std::get_if<QString>(&cell);
            if (!text) {
                m_out.u16(kNullLength);
                break;
            }
            m_out.u16(static_cast<std::uint16_t>(text->size() * 2));
            m_out.utf16(*text);
            break;
        }
        case ColumnDef::Kind::VarBinary: {
            const QByteArray* bytes = std::get_if<QByteArray>(&cell);
            if (!bytes) {
                m_out.u16(kNullLength);
                break;
            }
            m_out.u16(static_cast<std::uint16_t>(bytes->size()));
            m_out.bytes(*bytes);
            break;
        }
        case ColumnDef::Kind::Int: {
            const std::int32_t* value = std::get_if<std::int32_t>(&cell);
            m_out.u32(static_cast<std::uint32_t>(value ? *value : 0));
            break;
        }
        case ColumnDef::Kind::BigInt: {
            const std::int64_t* value = std::get_if<std::int64_t>(&cell);
            m_out.u64(static_cast<std::uint64_t>(value ? *value : 0));
            break;
        }
        case ColumnDef::Kind::SmallInt: {
            const std::int32_t* value = std::get_if<std::int32_t>(&cell);
            m_out.u16(static_cast<std::uint16_t>(value ? *value : 0));
            break;
        }
        case ColumnDef::Kind::NullableInt: {
            const std::int32_t* value = std::get_if<std::int32_t>(&cell);
            m_out.u8(value ? 4 : 0);
            if (value)
                m_out.u32(static_cast<std::uint32_t>(*value));
            break;
        }
        }
    }
}

void TokenWriter::returnStatus(std::int32_t value)
{
    m_out.u8(Token::ReturnStatus);
    m_out.u32(static_cast<std::uint32_t>(value));
}

void TokenWriter::returnValue(std::uint16_t ordinal, const QString& name, std::int32_t value)
{
    m_out.u8(Token::ReturnValue);
    m_out.u16(ordinal);
    m_out.bVarchar(name);
    m_out.u8(0x01); // output parameter
    if (m_tds72)
        m_out.u32(0);
    else
        m_out.u16(0);
    m_out.u16(0x0001); // nullable
    m_out.u8(DataType::IntN);
    m_out.u8(4);
    m_out.u8(4);
    m_out.u32(static_cast<std::uint32_t>(value));
}

void TokenWriter::done(std::uint16_t status, std::uint16_t command, std::uint64_t rowCount, DoneToken token)
{
    m_out.u8(static_cast<std::uint8_t>(token));
    m_out.u16(status);
    m_out.u16(command);
    if (m_tds72)
        m_out.u64(rowCount);
    else
        m_out.u32(static_cast<std::uint32_t>(rowCount));
}

} // namespace standin
