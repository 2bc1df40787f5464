#include "rebuild/LockHolders.h"

#include "db/Connection.h"
#include "db/ErrorNumbers.h"
#include "rebuild/Statements.h"
#include "support/Failure.h"

#include <QStringList>
#include <memory>

namespace quorvane {

namespace {

    QList<LockHolder> readHolders(db::Connection& connection, const QString& sql)
    {
        QList<LockHolder> holders;
        const std::unique_ptr<db::RecordSet> rs = connection.Execute(sql);
        while (!rs->eof()) {
            // SQL Server 2000 pads its nchar columns with blanks.
            const auto field = [&rs](int index) { return rs->Fields(index).trimmed(); };
            holders.append({ field(0), field(1), field(2), field(3) });
            rs->MoveNext();
        }
        return holders;
    }

} // namespace

std::optional<QList<LockHolder>> lockHolders(db::Connection& connection, const QString& strTable) noexcept
{
    try {
        try {
            return readHolders(connection, lockHoldersQuery(strTable));
        } catch (const Failure& failure) {
            // Only SQL Server 2000 lacks the newer views.
            if (failure.number() != db::kErrorNoTable)
                throw;
        }
        return readHolders(connection, lockHoldersQuery2000(strTable));
    } catch (...) {
        return std::nullopt;
    }
}

QString busyText(const std::optional<QList<LockHolder>>& holders)
{
    if (!holders || holders->isEmpty())
        return QStringLiteral("in use by another session");
    QStringList named;
    for (const LockHolder& holder : *holders) {
        QStringList about;
        for (const QString& part : { holder.host, holder.login, holder.program })
            if (!part.isEmpty())
                about.append(part);
        named.append(QStringLiteral("session ") + holder.session
                     + (about.isEmpty() ? QString() : QStringLiteral(" (") + about.join(QStringLiteral(", ")) + u')'));
    }
    return QStringLiteral("in use by ") + named.join(QStringLiteral("; "));
}

} // namespace quorvane
