#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <utility>

namespace standin {

// Appends little-endian integers and UTF-16LE text to a byte buffer, as TDS lays them out.
class ByteWriter
{
public:
    void u8(std::uint8_t value) { m_bytes.append(static_cast<char>(value)); }
    void u16(std::uint16_t value)
    {
        u8(static_cast<std::uint8_t>(value));
        u8(static_cast<std::uint8_t>(value >> 8));
    }
    void u32(std::uint32_t value)
    {
        u16(static_cast<std::uint16_t>(value));
        u16(static_cast<std::uint16_t>(value >> 16));
    }
    void u64(std::uint64_t value)
    {
        u32(static_cast<std::uint32_t>(value));
        u32(static_cast<std::uint32_t>(value >> 32));
    }
    void u16be(std::uint16_t value)
    {
        u8(static_cast<std::uint8_t>(value >> 8));
        u8(static_cast<std::uint8_t>(value));
    }
    void bytes(const QByteArray& data) { m_bytes.append(data); }
    // UTF-16LE code units, no length prefix.
    void utf16(const QString& text)
    {
        for (const QChar c : text)
            u16(c.unicode());
    }
    // B_VARCHAR: one byte of length in characters, then the characters.
    void bVarchar(const QString& text)
    {
        const QString cut = text.left(255);
        u8(static_cast<std::uint8_t>(cut.size()));
        utf16(cut);
    }
    // US_VARCHAR: two bytes of length in characters, then the characters.
    void usVarchar(const QString& text)
    {
        const QString cut = text.left(65535);
        u16(static_cast<std::uint16_t>(cut.size()));
        utf16(cut);
    }
    // B_VARBYTE: one byte of length, then the bytes.
    void bVarbyte(const QByteArray& data)
    {
        u8(static_cast<std::uint8_t>(data.size()));
        m_bytes.append(data.left(255));
    }
    // Overwrites a little-endian 16-bit value at a position already written.
    void patchU16(qsizetype position, std::uint16_t value)
    {
        m_bytes[position] = static_cast<char>(value & 0xFF);
        m_bytes[position + 1] = static_cast<char>(value >> 8);
    }

    qsizetype size() const { return m_bytes.size(); }
    const QByteArray& data() const { return m_bytes; }
    QByteArray take() { return std::exchange(m_bytes, {}); }

private:
    QByteArray m_bytes;
};

// Reads little-endian integers and UTF-16LE text from a byte buffer; every read checks the bounds
// and answers nothing once the buffer is exhausted.
class ByteReader
{
public:
    explicit ByteReader(const QByteArray& bytes, qsizetype position = 0)
        : m_bytes(bytes)
        , m_position(position)
    { }

    std::optional<std::uint8_t> u8()
    {
        if (remaining() < 1)
            return std::nullopt;
        return static_cast<std::uint8_t>(m_bytes[m_position++]);
    }
    std::optional<std::uint16_t> u16()
    {
        if (remaining() < 2)
            return std::nullopt;
        const auto low = static_cast<std::uint8_t>(m_bytes[m_position]);
        const auto high = static_cast<std::uint8_t>(m_bytes[m_position + 1]);
        m_position += 2;
        return static_cast<std::uint16_t>(low | (high << 8));
    }
    std::optional<std::uint32_t> u32()
    {
        const auto low = u16();
        const auto high = u16();
        if (!low || !high)
            return std::nullopt;
        return static_cast<std::uint32_t>(*low | (static_cast<std::uint32_t>(*high) << 16));
    }
    std::optional<QString> utf16(qsizetype characters)
    {
        if (characters < 0 || remaining() < characters * 2)
            return std::nullopt;
        QString text(characters, Qt::Uninitialized);
        for (qsizetype i = 0; i < characters; ++i) {
            const auto low = static_cast<std::uint8_t>(m_bytes[m_position + 2 * i]);
            const auto high = static_cast<std::uint8_t>(m_bytes[m_position + 2 * i + 1]);
            text[i] = QChar(static_cast<char16_t>(low | (high << 8)));
        }
        m_position += characters * 2;
        return text;
    }
    std::optional<QString> bVarchar()
    {
        const auto length = u8();
        if (!length)
            return std::nullopt;
        return utf16(*length);
    }
    bool skip(qsizetype count)
    {
        if (count < 0 || remaining() < count)
            return false;
        m_position += count;
        return true;
    }

    qsizetype position() const { return m_position; }
    qsizetype remaining() const { return m_bytes.size() - m_position; }

private:
    const QByteArray& m_bytes;
    qsizetype m_position;
};

} // namespace standin
