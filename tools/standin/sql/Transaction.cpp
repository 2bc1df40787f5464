#include "sql/Transaction.h"

#include "catalogue/Catalogue.h"

namespace standin {

void Transaction::begin(const QByteArray& descriptor)
{
    if (m_count++ == 0)
        m_descriptor = descriptor;
}

void Transaction::recordChange(int database, const TableChange& change)
{
    const std::pair<int, int> key { database, change.table };
    if (!m_originals.contains(key))
        m_originals.insert(key, change.before);
}

bool Transaction::commit()
{
    const bool changed = !m_originals.isEmpty();
    m_originals.clear();
    m_count = 0;
    return changed;
}

bool Transaction::commitLevel()
{
    if (m_count > 1) {
        --m_count;
        return false;
    }
    return commit();
}

void Transaction::rollback(Catalogue& catalogue)
{
    for (auto it = m_originals.constBegin(); it != m_originals.constEnd(); ++it)
        catalogue.databases[static_cast<size_t>(it.key().first)].replaceTable(it.key().second, it.value());
    m_originals.clear();
    m_count = 0;
}

} // namespace standin
