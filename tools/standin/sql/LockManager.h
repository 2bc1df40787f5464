#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <optional>
#include <utility>

namespace standin {

// A table a lock is taken on: (database position, table position in that database).
using LockedTable = std::pair<int, int>;

// A session as the server's session views show it. Fixture sessions stand for other users'
// clients; the others are the stand-in's own connections.
struct SessionInfo
{
    int spid = 0;
    QString host;
    QString login;
    QString program;
    bool fixture = false;
};

// The schema-modification locks of every session of the server, one holder a table, and who
// waits for which table. A lock of a session is kept until that session lets go of all of its
// locks (its transaction ended); released() tells waiters, from the event loop, to try again.
class LockManager : public QObject
{
    Q_OBJECT

public:
    explicit LockManager(QObject* parent = nullptr);

    // Registers a session under the first spid from preferred on that no other session uses.
    int addSession(int preferred);
    void describeSession(const SessionInfo& info);
    void removeSession(int spid);
    const SessionInfo* session(int spid) const;

    // Grants the lock when the table is free or already the session's own.
    bool tryLock(int spid, const LockedTable& table);
    std::optional<int> holder(const LockedTable& table) const;
    // Records that the session waits for the table, or waits no more.
    void wait(int spid, const LockedTable& table) { m_waiting.insert(spid, table); }
    void stopWaiting(int spid) { m_waiting.remove(spid); }
    bool waitsFor(int spid) const { return m_waiting.contains(spid); }
    // True when the session, by waiting for the table, would wait for itself through others.
    bool closesCycle(int spid, const LockedTable& table) const;
    // Frees every lock of the session.
    void releaseAll(int spid);
    // The sessions other than self that hold a lock on the table, by spid.
    QList<SessionInfo> holdersOtherThan(int self, const LockedTable& table) const;

Q_SIGNALS:
    void released();

private:
    QMap<int, SessionInfo> m_sessions;
    QHash<LockedTable, int> m_holders;
    QHash<int, LockedTable> m_waiting;
};

} // namespace standin
