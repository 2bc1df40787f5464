#include "db/OdbcCursor.h"

#include "db/ErrorNumbers.h"

#include <array>
#include <utility>

namespace quorvane::db {

OdbcCursor::OdbcCursor(std::shared_ptr<OdbcSession> session, OdbcHandle statement, SQLSMALLINT columns)
    : m_session(std::move(session))
    , m_statement(std::move(statement))
    , m_columns(columns)
{
    m_current = fetchRow();
}

void OdbcCursor::advance()
{
    m_current.reset();
    if (!m_buffered.empty()) {
        m_current = std::move(m_buffered.front());
        m_buffered.pop_front();
    } else if (m_statement) {
        m_current = fetchRow();
    } else if (m_pendingFailure) {
        const Failure failure = *std::exchange(m_pendingFailure, std::nullopt);
        throw failure;
    }
}

void OdbcCursor::detach() noexcept
{
    if (!m_statement)
        return;
    try {
        while (std::optional<OdbcRow> row = fetchRow())
            m_buffered.push_back(std::move(*row));
    } catch (const Failure& failure) {
        m_pendingFailure = failure;
    } catch (...) {
        m_pendingFailure = Failure(kErrorFail, QStringLiteral("Unspecified error"));
    }
    release();
}

std::optional<OdbcRow> OdbcCursor::fetchRow()
{
    if (!m_statement)
        return std::nullopt;
    try {
        const SQLRETURN result = SQLFetch(m_statement.get());
        if (result == SQL_NO_DATA) {
            finishStatement();
            return std::nullopt;
        }
        Check(result, m_statement, OdbcOperation::Statement);
        OdbcRow row;
        row.reserve(m_columns);
        for (SQLUSMALLINT column = 1; column <= m_columns; ++column) {
            bool isNull = false;
            QString text = readText(column, isNull);
            row.append(isNull ? std::nullopt : std::optional<QString>(std::move(text)));
        }
        return row;
    } catch (...) {
        // A failed statement is of no further use; releasing it frees the connection for the next.
        release();
        throw;
    }
}

QString OdbcCursor::readText(SQLUSMALLINT column, bool& isNull)
{
    std::array<SQLWCHAR, 2048> buffer {};
    const SQLLEN capacity = sizeof(buffer);
    QString text;
    isNull = false;
    // A long value arrives in pieces: every call fills the buffer with the next part.
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN result
            = SQLGetData(m_statement.get(), column, SQL_C_WCHAR, buffer.data(), capacity, &indicator);
        if (result == SQL_NO_DATA)
            return text;
        Check(result, m_statement, OdbcOperation::Statement);
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            return {};
        }
        const bool cut = result == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= capacity);
        const qsizetype units = cut ? qsizetype(buffer.size()) - 1 : qsizetype(indicator / sizeof(SQLWCHAR));
        text.append(FromWideText(buffer.data(), units));
        if (!cut)
            return text;
    }
}

void OdbcCursor::finishStatement()
{
    // Later results of the same batch are skipped, but an error among them is not.
    for (;;) {
        const SQLRETURN result = SQLMoreResults(m_statement.get());
        if (result == SQL_NO_DATA)
            break;
        Check(result, m_statement, OdbcOperation::Statement);
    }
    release();
}

void OdbcCursor::release() noexcept
{
    m_statement.reset();
}

} // namespace quorvane::db
