#pragma once

#include "catalogue/CatalogueJson.h"
#include "catalogue/CatalogueRules.h"

#include <QByteArray>

namespace standin {

struct Catalogue;

// One connection's transaction: its nesting count (@@TRANCOUNT), its descriptor, and the committed
// form of every table it has changed, so that a rollback or a dropped connection can put them back.
class Transaction
{
public:
    int count() const { return m_count; }
    bool active() const { return m_count > 0; }
    const QByteArray& descriptor() const { return m_descriptor; }
    // Committed forms of the tables changed so far, keyed by (database, table).
    const TableOverrides& originals() const { return m_originals; }

    // Opens the transaction (count 0 to 1) or nests one level deeper.
    void begin(const QByteArray& descriptor);
    // Keeps the table's form before its first change in this transaction.
    void recordChange(int database, const TableChange& change);
    // Ends the transaction for good; answers whether it had changed anything.
    bool commit();
    // Puts every changed table back as it was and ends the transaction.
    void rollback(Catalogue& catalogue);
    // One COMMIT: one level less; at level 0 the changes are committed. Answers whether they were.
    bool commitLevel();

private:
    int m_count = 0;
    QByteArray m_descriptor;
    TableOverrides m_originals;
};

} // namespace standin
