#pragma once

namespace quorvane {

namespace db {
    class Connection;
}

class KeyListModel;

// Every primary-key constraint of the database with its table and catalog, in the server's order
// of constraint names. Sent exactly as it stands.
inline constexpr char kPrimaryKeyListQuery[]
    = "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS "
      "WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]";

// Sends the primary-key list query and appends a row to the list for every record as it is read:
// the constraint name, then the table and the catalog as sub-items. A failure part way is thrown
// and leaves the rows read so far, the last one perhaps without its sub-items.
void readPrimaryKeyList(db::Connection& connection, KeyListModel& list);

} // namespace quorvane
