#pragma once

#include "db/OdbcHandle.h"
#include "db/OdbcSession.h"
#include "support/Failure.h"

#include <QList>
#include <QString>
#include <deque>
#include <memory>
#include <optional>

namespace quorvane::db {

// One row as text; an empty optional stands for NULL.
using OdbcRow = QList<std::optional<QString>>;

// Reads the rows of one result set forward, a whole row at a time. The driver serves one active
// statement per connection, so before the connection runs another statement it detaches the
// cursor: the rest of the rows are read into memory and the statement is released, and the reader
// carries on unaware.
class OdbcCursor
{
public:
    // Takes a statement positioned on a result set with `columns` columns and reads its first row.
    OdbcCursor(std::shared_ptr<OdbcSession> session, OdbcHandle statement, SQLSMALLINT columns);
    OdbcCursor(const OdbcCursor&) = delete;
    OdbcCursor& operator=(const OdbcCursor&) = delete;

    int columnCount() const { return m_columns; }
    bool atEnd() const { return !m_current.has_value(); }
    // The current row; only while !atEnd().
    const OdbcRow& current() const { return *m_current; }
    // Makes the next row current, or ends. Throws the failure the server or driver reported.
    void advance();
    // Reads the remaining rows into memory and releases the statement; a failure met on the way
    // is kept and thrown when the reader reaches it.
    void detach() noexcept;

private:
    std::optional<OdbcRow> fetchRow();
    QString readText(SQLUSMALLINT column, bool& isNull);
    void finishStatement();
    void release() noexcept;

    std::shared_ptr<OdbcSession> m_session;
    OdbcHandle m_statement;
    SQLSMALLINT m_columns;
    std::optional<OdbcRow> m_current;
    std::deque<OdbcRow> m_buffered;
    std::optional<Failure> m_pendingFailure;
};

} // namespace quorvane::db
