#pragma once

namespace quorvane {

// Every primary-key constraint of the database with its table and catalog, in the server's order
// of constraint names. Sent exactly as it stands.
inline constexpr char kPrimaryKeyListQuery[]
    = "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS "
      "WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]";

} // namespace quorvane
