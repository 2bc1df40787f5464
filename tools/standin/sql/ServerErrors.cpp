#include "sql/ServerErrors.h"

namespace standin::errors {

SqlMessage invalidObjectName(const QString& name)
{
    return { 208, 1, 16, QStringLiteral("Invalid object name '%1'.").arg(name) };
}

SqlMessage incorrectSyntaxNear(const QString& text)
{
    return { 102, 1, 15, QStringLiteral("Incorrect syntax near '%1'.").arg(text) };
}

SqlMessage objectNotFound(const QString& name)
{
    return { 4902, 1, 16,
             QStringLiteral("Cannot find the object \"%1\" because it does not exist or you do not have permissions.")
                 .arg(name) };
}

SqlMessage notAConstraint(const QString& name)
{
    return { 3728, 1, 16, QStringLiteral("'%1' is not a constraint.").arg(name) };
}

SqlMessage constraintReferenced(const QString& name, const QString& table, const QString& foreignKey)
{
    return { 3725, 0, 16,
             QStringLiteral("The constraint '%1' is being referenced by table '%2', foreign key constraint '%3'.")
                 .arg(name, table, foreignKey) };
}

SqlMessage couldNotDropConstraint()
{
    return { 3727, 0, 16, QStringLiteral("Could not drop constraint. See previous errors.") };
}

SqlMessage alreadyHasPrimaryKey(const QString& table)
{
    return { 1779, 0, 16, QStringLiteral("Table '%1' already has a primary key defined on it.").arg(table) };
}

SqlMessage objectAlreadyExists(const QString& name)
{
    return { 2714, 5, 16, QStringLiteral("There is already an object named '%1' in the database.").arg(name) };
}

SqlMessage duplicateKeyColumn(const QString& column)
{
    return { 1909, 1, 16,
             QStringLiteral("Cannot use duplicate column names in index. Column name '%1' listed more than once.")
                 .arg(column) };
}

SqlMessage columnDoesNotExist(const QString& column)
{
    return { 1911, 1, 16, QStringLiteral("Column name '%1' does not exist in the target table or view.").arg(column) };
}

SqlMessage nullableKeyColumn(const QString& table)
{
    return { 8111, 1, 16,
             QStringLiteral("Cannot define PRIMARY KEY constraint on nullable column in table '%1'.").arg(table) };
}

SqlMessage secondClusteredIndex(const QString& table, const QString& index)
{
    return { 1902, 3, 16,
             QStringLiteral(
                 "Cannot create more than one clustered index on table '%1'. Drop the existing clustered index "
                 "'%2' before creating another.")
                 .arg(table, index) };
}

SqlMessage invalidFilegroup(const QString& filegroup)
{
    return { 1921, 1, 16, QStringLiteral("Invalid filegroup '%1' specified.").arg(filegroup) };
}

SqlMessage filegroupFull(const QString& object, const QString& index, const QString& database, const QString& filegroup)
{
    return { 1105, 2, 17,
             QStringLiteral("Could not allocate space for object '%1'.'%2' in database '%3' because the '%4' filegroup "
                            "is full. Create disk space by deleting unneeded files, dropping objects in the filegroup, "
                            "adding additional files to the filegroup, or setting autogrowth on for existing files in "
                            "the filegroup.")
                 .arg(object, index, database, filegroup) };
}

SqlMessage couldNotCreateConstraint()
{
    return { 1750, 0, 16, QStringLiteral("Could not create constraint. See previous errors.") };
}

SqlMessage commitWithoutBegin()
{
    return { 3902, 1, 16, QStringLiteral("The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.") };
}

SqlMessage rollbackWithoutBegin()
{
    return { 3903, 1, 16, QStringLiteral("The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.") };
}

SqlMessage loginFailed(const QString& user)
{
    return { 18456, 1, 14, QStringLiteral("Login failed for user '%1'.").arg(user) };
}

SqlMessage cannotOpenDatabase(const QString& database)
{
    return { 4060, 1, 11,
             QStringLiteral("Cannot open database \"%1\" requested by the login. The login failed.").arg(database) };
}

SqlMessage databaseDoesNotExist(const QString& database)
{
    return { 911, 1, 16,
             QStringLiteral(
                 "Could not locate entry in sysdatabases for database '%1'. No entry found with that name. Make "
                 "sure that the name is entered correctly.")
                 .arg(database) };
}

SqlMessage databaseContextChanged(const QString& database)
{
    return { 5701, 2, 0, QStringLiteral("Changed database context to '%1'.").arg(database) };
}

SqlMessage languageChanged(const QString& language)
{
    return { 5703, 1, 0, QStringLiteral("Changed language setting to %1.").arg(language) };
}

SqlMessage lockRequestTimedOut()
{
    return { 1222, 51, 16, QStringLiteral("Lock request time out period exceeded.") };
}

SqlMessage deadlockVictim(int spid)
{
    return { 1205, 51, 13,
             QStringLiteral("Transaction (Process ID %1) was deadlocked on lock resources with another process and "
                            "has been chosen as the deadlock victim. Rerun the transaction.")
                 .arg(spid) };
}

SqlMessage serverPermissionDenied(const QString& permission)
{
    return { 300, 1, 14,
             QStringLiteral("%1 permission was denied on object 'server', database 'master'.").arg(permission) };
}

SqlMessage noPermission()
{
    return { 297, 1, 16, QStringLiteral("The user does not have permission to perform this action.") };
}

} // namespace standin::errors
