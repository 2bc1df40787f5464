#pragma once

#include <QString>
#include <optional>

namespace quorvane::db {

// How long a statement waits for a lock another session holds before the server gives up with
// error 1222: whole seconds, or without limit (the server's own default). Without a limit a DROP
// queued behind a long transaction holds up every other user of the table for as long.
class LockTimeout
{
public:
    static constexpr int kDefaultSeconds = 30;

    static LockTimeout seconds(int seconds) { return LockTimeout(seconds); }
    static LockTimeout withoutLimit() { return LockTimeout(std::nullopt); }
    static LockTimeout defaultWait() { return seconds(kDefaultSeconds); }
    // From its text form: a number of seconds (0 or more), or "none"; nothing for anything else.
    static std::optional<LockTimeout> fromText(const QString& text);

    std::optional<int> limitSeconds() const { return m_seconds; }
    // "30", or "none".
    QString text() const;
    // "SET LOCK_TIMEOUT 30000" (milliseconds), or "SET LOCK_TIMEOUT -1".
    QString setStatement() const;

    friend bool operator==(const LockTimeout&, const LockTimeout&) = default;

private:
    explicit LockTimeout(std::optional<int> seconds)
        : m_seconds(seconds)
    { }
    std::optional<int> m_seconds;
};

} // namespace quorvane::db
