// The handlers of the statement kinds declared in Statements.h: how each one is answered.
#include "catalogue/CatalogueRules.h"
#include "sql/BatchEngine.h"
#include "sql/ServerErrors.h"
#include "sql/Statements.h"

namespace standin::statement {

void PrimaryKeyList::run(BatchEngine& engine) const
{
    engine.rows(primaryKeyList(engine.database()));
}

void KeyDetails::run(BatchEngine& engine) const
{
    engine.rows(keyDetails(engine.database(), withFilegroup));
}

void KeyColumns::run(BatchEngine& engine) const
{
    engine.rows(keyColumns(engine.database(), *this));
}

void TableFilegroup::run(BatchEngine& engine) const
{
    engine.rows(tableFilegroup(engine.database(), *this));
}

void IndexClustered::run(BatchEngine& engine) const
{
    engine.rows(indexClustered(engine.database(), *this));
}

void UserCheck::run(BatchEngine& engine) const
{
    const auto result = userCheck(engine.database());
    if (const auto* messages = std::get_if<SqlMessages>(&result))
        return engine.fail(*messages);
    engine.rows(std::get<ResultSet>(result));
}

void SelectTranCount::run(BatchEngine& engine) const
{
    ResultSet result;
    result.columns = { { QString(), ColumnDef::Kind::Int, 4 } };
    result.rows = { Row { static_cast<std::int32_t>(engine.transaction().count()) } };
    engine.rows(result);
}

void DropConstraint::run(BatchEngine& engine) const
{
    engine.applyChange(dropConstraint(engine.database(), *this));
}

void AddPrimaryKey::run(BatchEngine& engine) const
{
    engine.applyChange(addPrimaryKey(engine.database(), *this));
}

void Set::run(BatchEngine& engine) const
{
    const auto option = [this](QStringView name) {
        return words.size() >= 2 && words.first().compare(name, Qt::CaseInsensitive) == 0;
    };
    const bool on = words.size() >= 2 && words.last().compare(u"ON", Qt::CaseInsensitive) == 0;
    if (option(u"IMPLICIT_TRANSACTIONS"))
        engine.setImplicitTransactions(on);
    if (option(u"XACT_ABORT"))
        engine.setXactAbort(on);
    if (option(u"LOCK_TIMEOUT")) {
        // -1 arrives as two words, "-" and "1".
        bool number = false;
        const int timeout = words.mid(1).join(QString()).toInt(&number);
        if (number)
            engine.setLockTimeout(timeout);
    }
    engine.done();
}

void BeginTransaction::run(BatchEngine& engine) const
{
    engine.beginTransaction();
    engine.done();
}

void CommitTransaction::run(BatchEngine& engine) const
{
    if (!engine.transaction().active())
        return engine.fail({ errors::commitWithoutBegin() });
    if (engine.transaction().count() > 1)
        engine.commitNestedLevel();
    else
        engine.commitTransaction();
    engine.done();
}

void RollbackTransaction::run(BatchEngine& engine) const
{
    if (!engine.transaction().active())
        return engine.fail({ errors::rollbackWithoutBegin() });
    engine.rollbackTransaction();
    engine.done();
}

void Use::run(BatchEngine& engine) const
{
    const auto found = engine.catalogue().findDatabase(database);
    if (!found)
        return engine.fail({ errors::databaseDoesNotExist(database) });
    engine.changeDatabase(*found);
}

void TransactionRequest::run(BatchEngine& engine) const
{
    if (kind == Kind::Begin)
        engine.beginTransaction();
    else if (kind == Kind::Commit && engine.transaction().active())
        engine.commitTransaction();
    else if (kind == Kind::Rollback && engine.transaction().active())
        engine.rollbackTransaction();
    if (beginsAnother)
        engine.beginTransaction();
    engine.done();
}

} // namespace standin::statement
