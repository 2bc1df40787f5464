#include "sql/LockManager.h"

namespace standin {

LockManager::LockManager(QObject* parent)
    : QObject(parent)
{ }

int LockManager::addSession(int preferred)
{
    int spid = preferred;
    while (m_sessions.contains(spid))
        ++spid;
    m_sessions.insert(spid, SessionInfo { spid, {}, {}, {}, false });
    return spid;
}

void LockManager::describeSession(const SessionInfo& info)
{
    m_sessions.insert(info.spid, info);
}

void LockManager::removeSession(int spid)
{
    releaseAll(spid);
    m_waiting.remove(spid);
    m_sessions.remove(spid);
}

const SessionInfo* LockManager::session(int spid) const
{
    const auto found = m_sessions.constFind(spid);
    return found == m_sessions.constEnd() ? nullptr : &*found;
}

bool LockManager::tryLock(int spid, const LockedTable& table)
{
    const auto found = m_holders.constFind(table);
    if (found != m_holders.constEnd() && *found != spid)
        return false;
    m_holders.insert(table, spid);
    m_waiting.remove(spid);
    return true;
}

std::optional<int> LockManager::holder(const LockedTable& table) const
{
    const auto found = m_holders.constFind(table);
    return found == m_holders.constEnd() ? std::nullopt : std::optional<int>(*found);
}

bool LockManager::closesCycle(int spid, const LockedTable& table) const
{
    std::optional<int> next = holder(table);
    // Each session waits for one table at most, so the chain ends or comes round within their number.
    for (qsizetype steps = 0; next && steps <= m_waiting.size(); ++steps) {
        if (*next == spid)
            return true;
        const auto waits = m_waiting.constFind(*next);
        if (waits == m_waiting.constEnd())
            return false;
        next = holder(*waits);
    }
    return false;
}

void LockManager::releaseAll(int spid)
{
    bool any = false;
    for (auto it = m_holders.begin(); it != m_holders.end();) {
        if (*it == spid) {
            it = m_holders.erase(it);
            any = true;
        } else {
            ++it;
        }
    }
    if (any)
        Q_EMIT released();
}

QList<SessionInfo> LockManager::holdersOtherThan(int self, const LockedTable& table) const
{
    QList<SessionInfo> holders;
    const auto found = m_holders.constFind(table);
    if (found != m_holders.constEnd() && *found != self) {
        if (const SessionInfo* info = session(*found))
            holders.append(*info);
    }
    return holders;
}

} // namespace standin
