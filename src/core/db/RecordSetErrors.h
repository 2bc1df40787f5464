#pragma once

#include "db/Connection.h"
#include "support/Failure.h"

namespace quorvane::db {

// The failures of reading a row set wrongly, with the numbers and texts of the classic provider.

inline Failure noCurrentRecord()
{
    return { 3021,
             QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                            "requires a current record.") };
}

inline Failure itemNotFound()
{
    return { 3265,
             QStringLiteral("Item cannot be found in the collection corresponding to the requested name or ordinal.") };
}

inline constexpr std::int32_t kInvalidUseOfNull = 94;

// The failure of reading a field that holds NULL as text.
inline Failure invalidUseOfNull()
{
    return { kInvalidUseOfNull, QStringLiteral("Invalid use of Null") };
}

// The current row's field as text, empty for NULL; any other failure is thrown.
inline QString fieldTextOrEmpty(const RecordSet& rs, int field)
{
    try {
        return rs.Fields(field);
    } catch (const Failure& failure) {
        if (failure.number() != kInvalidUseOfNull)
            throw;
        return {};
    }
}

} // namespace quorvane::db
