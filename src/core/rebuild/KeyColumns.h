#pragma once

#include <QString>
#include <QStringList>

namespace quorvane {

namespace db {
    class Connection;
}

// The key's column names in key order, as the server lists them now: the key-column query sent on
// the connection and read to its end. Failures of the query are thrown as they come.
QStringList keyColumns(db::Connection& connection, const QString& strTable, const QString& strConstraint);

} // namespace quorvane
