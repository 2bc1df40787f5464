#include "main/KeyDetailsQuery.h"

#include "db/Connection.h"
#include "log/Failure.h"

#include <memory>

namespace quorvane {

namespace {

    constexpr qint64 kKilobytesPerPage = 8;

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
        key.details.refusals.setFlag(KeyRefusal::ReferencedByForeignKey, flag(*rs, 5));
        key.details.refusals.setFlag(KeyRefusal::OtherClusteredIndex, flag(*rs, 6));
        key.details.refusals.setFlag(KeyRefusal::NameInSeveralSchemas, flag(*rs, 7));
        key.details.refusals.setFlag(KeyRefusal::OutsideDbo, flag(*rs, 8));
        all.push_back(std::move(key));
        rs->MoveNext();
    }
    return all;
}

} // namespace quorvane
