#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace quorvane {

namespace db {
    class Connection;
}

// A session that holds a lock on a table, as the server's lock and session views name it.
struct LockHolder
{
    QString session;
    QString host;
    QString login;
    QString program;
    friend bool operator==(const LockHolder&, const LockHolder&) = default;
};

// The sessions other than ours that hold a lock on dbo.[table] now: read from the views of SQL
// Server 2005 and later, or, where those do not exist, from those of SQL Server 2000. Nothing when
// the server does not let this login read them (or the connection fails meanwhile); never throws.
std::optional<QList<LockHolder>> lockHolders(db::Connection& connection, const QString& strTable) noexcept;

// "in use by session 57 (NAVCLIENT12, CRONUS\anna, Microsoft Business Solutions-Navision)", each
// holder named so, separated by "; "; without holders to name, "in use by another session".
QString busyText(const std::optional<QList<LockHolder>>& holders);

} // namespace quorvane
