#pragma once

#include "db/Connection.h"
#include "db/OdbcCursor.h"

#include <memory>

namespace quorvane::db {

// The forward-only row set an OdbcConnection's Execute returns. Without a cursor it is the empty
// result of a statement that returned no rows. Failures carry the classic runtime's numbers.
class OdbcRecordSet final : public RecordSet
{
public:
    explicit OdbcRecordSet(std::shared_ptr<OdbcCursor> cursor = nullptr);

    bool eof() const override;
    void MoveNext() override;
    // A NULL value fails with "Invalid use of Null", as converting Null to text did.
    QString Fields(int index) const override;
    int fieldCount() const override;

private:
    void requireCurrentRow() const;

    std::shared_ptr<OdbcCursor> m_cursor;
};

} // namespace quorvane::db
