#include "protocol/Rpc.h"

#include "protocol/Bytes.h"
#include "protocol/TdsDataTypes.h"

namespace standin {

namespace {
    constexpr std::uint16_t kPlpMarker = 0xFFFF;

    QString procedureName(std::uint16_t id)
    {
        switch (id) {
        case 10:
            return QStringLiteral("sp_executesql");
        case 11:
            return QStringLiteral("sp_prepare");
        case 12:
            return QStringLiteral("sp_execute");
        case 13:
            return QStringLiteral("sp_prepexec");
        case 15:
            return QStringLiteral("sp_unprepare");
        default:
            return QStringLiteral("procedure %1").arg(id);
        }
    }

    // Reads a length-prefixed byte string of the given prefix width; answers nothing on a short
    // buffer, an empty optional inside for NULL.
    std::optional<std::optional<QByteArray>> lengthPrefixed(ByteReader& reader, const QByteArray& payload, int width,
                                                            std::uint32_t nullLength)
    {
        std::uint32_t length = 0;
        if (width == 2) {
            const auto l = reader.u16();
            if (!l)
                return std::nullopt;
            length = *l;
        } else {
            const auto l = reader.u32();
            if (!l)
                return std::nullopt;
            length = *l;
        }
        if (length == nullLength)
            return std::optional<QByteArray>();
        const qsizetype at = reader.position();
        if (!reader.skip(length))
            return std::nullopt;
        return std::optional<QByteArray>(payload.mid(at, length));
    }

    // Partially length-prefixed values (nvarchar(max)): total length, then chunks up to a 0 chunk.
    std::optional<std::optional<QByteArray>> plp(ByteReader& reader, const QByteArray& payload)
    {
        const auto low = reader.u32();
        const auto high = reader.u32();
        if (!low || !high)
            return std::nullopt;
        if (*low == 0xFFFFFFFF && *high == 0xFFFFFFFF)
            return std::optional<QByteArray>();
        QByteArray value;
        for (;;) {
            const auto chunk = reader.u32();
            if (!chunk)
                return std::nullopt;
            if (*chunk == 0)
                return std::optional<QByteArray>(value);
            const qsizetype at = reader.position();
            if (!reader.skip(*chunk))
                return std::nullopt;
            value.append(payload.mid(at, *chunk));
        }
    }

    QString fromUtf16(const QByteArray& bytes)
    {
        QString text;
        text.reserve(bytes.size() / 2);
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            text.append(QChar(static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i])
                                                    | (static_cast<std::uint8_t>(bytes[i + 1]) << 8))));
        return text;
    }

    bool readParameter(ByteReader& reader, const QByteArray& payload, RpcParameter& parameter)
    {
        const auto name = reader.bVarchar();
        const auto status = reader.u8();
        const auto type = reader.u8();
        if (!name || !status || !type)
            return false;
        parameter.name = *name;
        parameter.output = *status & 0x01;
        std::optional<std::optional<QByteArray>> value;
        bool textual = false;
        switch (*type) {
        case DataType::IntN: {
            if (!reader.u8())
                return false;
            const auto length = reader.u8();
            if (!length)
                return false;
            const qsizetype at = reader.position();
            if (!reader.skip(*length))
                return false;
            value = *length == 0 ? std::optional<QByteArray>() : std::optional<QByteArray>(payload.mid(at, *length));
            break;
        }
        case DataType::Int4: {
            const qsizetype at = reader.position();
            if (!reader.skip(4))
                return false;
            value = std::optional<QByteArray>(payload.mid(at, 4));
            break;
        }
        case DataType::NText:
            if (!reader.u32() || !reader.skip(5))
                return false;
            value = lengthPrefixed(reader, payload, 4, 0xFFFFFFFF);
            textual = true;
            break;
        case DataType::NVarChar:
        case DataType::NChar:
        case DataType::BigVarChar: {
            const auto maxLength = reader.u16();
            if (!maxLength || !reader.skip(5))
                return false;
            value = *maxLength == kPlpMarker ? plp(reader, payload) : lengthPrefixed(reader, payload, 2, 0xFFFF);
            textual = *type != DataType::BigVarChar;
            if (*type == DataType::BigVarChar && value && *value)
                parameter.text = QString::fromLatin1(**value);
            break;
        }
        default:
            return false;
        }
        if (!value)
            return false;
        parameter.isNull = !value->has_value();
        if (parameter.isNull)
            return true;
        if (textual) {
            parameter.text = fromUtf16(**value);
        } else if (*type == DataType::IntN || *type == DataType::Int4) {
            std::int64_t number = 0;
            for (qsizetype i = (*value)->size() - 1; i >= 0; --i)
                number = (number << 8) | static_cast<std::uint8_t>((**value)[i]);
            if ((*value)->size() == 4)
                number = static_cast<std::int32_t>(number);
            parameter.integer = number;
        }
        return true;
    }
} // namespace

std::optional<RpcRequest> parseRpc(const QByteArray& payload, qsizetype start)
{
    ByteReader reader(payload, start);
    RpcRequest request;
    const auto nameLength = reader.u16();
    if (!nameLength)
        return std::nullopt;
    if (*nameLength == 0xFFFF) {
        const auto id = reader.u16();
        if (!id)
            return std::nullopt;
        request.procedure = procedureName(*id);
    } else {
        const auto name = reader.utf16(*nameLength);
        if (!name)
            return std::nullopt;
        request.procedure = name->toLower();
    }
    if (!reader.u16()) // option flags
        return std::nullopt;
    while (reader.remaining() > 0) {
        RpcParameter parameter;
        if (!readParameter(reader, payload, parameter))
            return std::nullopt;
        request.parameters.append(parameter);
    }
    return request;
}

} // namespace standin
