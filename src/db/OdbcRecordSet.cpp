#include "db/OdbcRecordSet.h"

#include "log/Failure.h"

#include <utility>

namespace quorvane::db {

namespace {

    constexpr std::int32_t kInvalidUseOfNull = 94;
    constexpr std::int32_t kNoCurrentRecord = 3021;
    constexpr std::int32_t kItemNotFound = 3265;

} // namespace

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
        throw Failure(
            kItemNotFound,
            QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal."));
    const std::optional<QString>& value = m_cursor->current().at(index);
    if (!value)
        throw Failure(kInvalidUseOfNull, QStringLiteral("Invalid use of Null"));
    return *value;
}

void OdbcRecordSet::requireCurrentRow() const
{
    if (eof())
        throw Failure(
            kNoCurrentRecord,
            QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                           "requires a current record."));
}

} // namespace quorvane::db
