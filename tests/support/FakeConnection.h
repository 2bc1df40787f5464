#pragma once

#include "db/Connection.h"
#include "support/Failure.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace quorvane::test {

// The answer of the fake database to one statement: rows of text, and optionally a failure, either
// at once (failAtRow 0) or when the reader moves onto row failAtRow. A failure at once can take the
// link to the server with it: the connection is then no longer open.
struct FakeResult
{
    QList<QStringList> rows;
    std::optional<Failure> failure;
    int failAtRow = 0;
    bool dropsConnection = false;
};

// An in-process database for unit tests. It outlives the connections it creates, answers every
// statement through `respond`, and records what happened in `events`:
// "OPEN <string>", "EXEC <sql>", "TIMEOUT <n>", "BEGIN", "COMMIT", "ROLLBACK", "CLOSE".
class FakeDatabase
{
public:
    std::function<FakeResult(const QString& sql)> respond = [](const QString&) { return FakeResult {}; };
    std::optional<Failure> openFailure;
    // A COMMIT that reaches the database and then loses the link, its reply with it.
    bool commitLosesReply = false;
    QStringList events;

    QStringList executed() const;
    db::ConnectionFactory factory();
};

} // namespace quorvane::test
