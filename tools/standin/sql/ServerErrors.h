#pragma once

#include "protocol/SqlMessage.h"

#include <QString>

namespace standin::errors {

// The server name messages carry.
inline const QString kServerName = QStringLiteral("STANDIN");

// SQL Server 2005's own messages, with their numbers, states and classes.

SqlMessage invalidObjectName(const QString& name); // 208
SqlMessage incorrectSyntaxNear(const QString& text); // 102
SqlMessage objectNotFound(const QString& name); // 4902
SqlMessage notAConstraint(const QString& name); // 3728
SqlMessage constraintReferenced(const QString& name, const QString& table, const QString& foreignKey); // 3725
SqlMessage couldNotDropConstraint(); // 3727
SqlMessage alreadyHasPrimaryKey(const QString& table); // 1779
SqlMessage objectAlreadyExists(const QString& name); // 2714
SqlMessage duplicateKeyColumn(const QString& column); // 1909
SqlMessage columnDoesNotExist(const QString& column); // 1911
SqlMessage nullableKeyColumn(const QString& table); // 8111
SqlMessage secondClusteredIndex(const QString& table, const QString& index); // 1902
SqlMessage invalidFilegroup(const QString& filegroup); // 1921
SqlMessage filegroupFull(const QString& object, const QString& index, const QString& database,
                         const QString& filegroup); // 1105
SqlMessage couldNotCreateConstraint(); // 1750
SqlMessage commitWithoutBegin(); // 3902
SqlMessage rollbackWithoutBegin(); // 3903
SqlMessage loginFailed(const QString& user); // 18456
SqlMessage cannotOpenDatabase(const QString& database); // 4060
SqlMessage databaseDoesNotExist(const QString& database); // 911
SqlMessage databaseContextChanged(const QString& database); // 5701
SqlMessage languageChanged(const QString& language); // 5703
SqlMessage lockRequestTimedOut(); // 1222
SqlMessage deadlockVictim(int spid); // 1205
SqlMessage serverPermissionDenied(const QString& permission); // 300
SqlMessage noPermission(); // 297

} // namespace standin::errors
