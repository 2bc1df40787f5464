#pragma once

#include "keys/KeyDetails.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace quorvane {

namespace db {
    class Connection;
}

// What the script's header names.
struct ScriptHeader
{
    QString server;
    QString database;
    QDateTime time;
};

// One key to script: the list row's table and constraint names, and its details when known.
struct ScriptKey
{
    QString table;
    QString constraint;
    std::optional<KeyDetails> details;
};

// The T-SQL that re-creates the keys as clustered, for a DBA to review and run in any SQL tool: a
// header comment naming server, database and time; SET XACT_ABORT ON, so that a refused ADD rolls
// its DROP back; then per key, in the order given, a comment with the key columns read now, and
// BEGIN TRANSACTION, the DROP and ADD statements a run would send now (see planRebuild) and COMMIT
// TRANSACTION, with GO after each table. A key with a predicted refusal, or one a run would skip,
// is left out with a comment saying why. Failures of the catalogue queries are thrown.
QString rebuildScript(db::Connection& connection, const ScriptHeader& header, const QList<ScriptKey>& keys);

} // namespace quorvane
