#include "db/OdbcRecordSet.h"

#include "db/RecordSetErrors.h"
#include "support/Failure.h"

#include <utility>

namespace quorvane::db {

OdbcRecordSet::OdbcRecordSet(std::shared_ptr<OdbcCursor> cursor)
    : m_cursor(std::move(cursor))
{ }

bool OdbcRecordSet::eof() const
{
    return !m_cursor || m_cursor->atEnd();
}

void OdbcRecordSet::MoveNext()
{
    requireCurrentRow();
    m_cursor->advance();
}

QString OdbcRecordSet::Fields(int index) const
{
    requireCurrentRow();
    if (index < 0 || index >= m_cursor->columnCount())
        throw itemNotFound();
    const std::optional<QString>& value = m_cursor->current().at(index);
    if (!value)
        throw invalidUseOfNull();
    return *value;
}

int OdbcRecordSet::fieldCount() const
{
    return m_cursor ? m_cursor->columnCount() : 0;
}

void OdbcRecordSet::requireCurrentRow() const
{
    if (eof())
        throw noCurrentRecord();
}

} // namespace quorvane::db
