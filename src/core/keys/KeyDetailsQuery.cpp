#include "keys/KeyDetailsQuery.h"

#include "db/Connection.h"
#include "db/RecordSetErrors.h"
#include "support/Failure.h"

#include <memory>

namespace quorvane {

namespace {

    constexpr qint64 kKilobytesPerPage = 8;
    constexpr qint64 kQueriedRefusals = 0xB;

    qint64 number(const db::RecordSet& rs, int field)
    {
        bool ok = false;
        const qint64 value = rs.Fields(field).trimmed().toLongLong(&ok);
        if (!ok)
            throw Failure(kTypeMismatch, QStringLiteral("Type mismatch"));
        return value;
    }

    bool flag(const db::RecordSet& rs, int field)
    {
        return number(rs, field) != 0;
    }

} // namespace

std::vector<NamedKeyDetails> readKeyDetails(db::Connection& connection)
{
    std::vector<NamedKeyDetails> all;
    const std::unique_ptr<db::RecordSet> rs = connection.Execute(QString::fromLatin1(kKeyDetailsQuery));
    while (!rs->eof()) {
        NamedKeyDetails key { rs->Fields(0), rs->Fields(1), {} };
        key.details.clustered = flag(*rs, 2);
        key.details.rows = number(*rs, 3);
        key.details.reservedKb = number(*rs, 4) * kKilobytesPerPage;
        const qint64 refusals = number(*rs, 5);
        if (refusals < 0 || (refusals & ~kQueriedRefusals) != 0)
            throw Failure(kTypeMismatch, QStringLiteral("Type mismatch"));
        key.details.refusals = KeyRefusals::fromInt(static_cast<int>(refusals));
        key.details.filegroup = db::fieldTextOrEmpty(*rs, 6);
        // Data spread over a partition scheme stays where it is: the rebuild would gather it.
        if (key.details.filegroup.isEmpty())
            key.details.refusals |= KeyRefusal::OnPartitionScheme;
        all.push_back(std::move(key));
        rs->MoveNext();
    }
    return all;
}

} // namespace quorvane
