#pragma once

#include "protocol/Bytes.h"
#include "protocol/ResultSet.h"
#include "protocol/SqlMessage.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace standin {

// The TDS versions as LOGINACK states them.
namespace TdsVersion {
    inline constexpr std::uint32_t V7_1 = 0x71000001;
    inline constexpr std::uint32_t V7_2 = 0x72090002;
    inline constexpr std::uint32_t V7_3 = 0x730B0003;
    inline constexpr std::uint32_t V7_4 = 0x74000004;
} // namespace TdsVersion

// DONE status bits.
namespace DoneStatus {
    inline constexpr std::uint16_t Final = 0x0000;
    inline constexpr std::uint16_t More = 0x0001;
    inline constexpr std::uint16_t Error = 0x0002;
    inline constexpr std::uint16_t Count = 0x0010;
    inline constexpr std::uint16_t Attention = 0x0020;
} // namespace DoneStatus

// The three DONE tokens: after a batch statement, after a statement inside a procedure, and after
// the procedure itself.
enum class DoneToken : std::uint8_t { Done = 0xFD, DoneProc = 0xFE, DoneInProc = 0xFF };

// ENVCHANGE types.
namespace EnvChange {
    inline constexpr std::uint8_t Database = 1;
    inline constexpr std::uint8_t Language = 2;
    inline constexpr std::uint8_t PacketSize = 4;
    inline constexpr std::uint8_t Collation = 7;
    inline constexpr std::uint8_t BeginTransaction = 8;
    inline constexpr std::uint8_t CommitTransaction = 9;
    inline constexpr std::uint8_t RollbackTransaction = 10;
} // namespace EnvChange

// The collation every nvarchar column and the login announce: Latin1_General_CI_AS.
QByteArray serverCollation();

// Writes the token stream of one reply. Field widths that changed with TDS 7.2 (user type, row
// counts, line numbers) follow the version negotiated at login.
class TokenWriter
{
public:
    explicit TokenWriter(std::uint32_t tdsVersion)
        : m_tds72(tdsVersion >= TdsVersion::V7_2)
    { }

    void loginAck(std::uint32_t tdsVersion, const QString& programName, std::uint32_t programVersion);
    void envChange(std::uint8_t type, const QString& newValue, const QString& oldValue);
    void envChangeBytes(std::uint8_t type, const QByteArray& newValue, const QByteArray& oldValue);
    void message(const SqlMessage& message, const QString& serverName, int line = 1);
    void resultSet(const ResultSet& result);
    void done(std::uint16_t status, std::uint16_t command, std::uint64_t rowCount, DoneToken token = DoneToken::Done);
    void returnStatus(std::int32_t value);
    // An output parameter's value: an int.
    void returnValue(std::uint16_t ordinal, const QString& name, std::int32_t value);

    qsizetype size() const { return m_out.size(); }
    QByteArray take() { return m_out.take(); }

private:
    void columns(const QList<ColumnDef>& columns);
    void row(const QList<ColumnDef>& columns, const Row& row);

    bool m_tds72;
    ByteWriter m_out;
};

} // namespace standin
