#pragma once

#include "db/Connection.h"
#include "log/Failure.h"

#include <QString>
#include <QtGlobal>

namespace quorvane {

// Joins the database's users with Navision's per-user table: at least one row means a Navision
// 4.0 database that the login may work on.
inline constexpr char16_t kNavisionCheckQuery[]
    = u"select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name";

// Outcomes of the database check.
inline constexpr qint16 kCheckNavisionDatabase = 0;
inline constexpr qint16 kCheckNotNavision = 1;
inline constexpr qint16 kCheckServerUnreachable = 2;
inline constexpr qint16 kCheckLoginRefused = 3;
inline constexpr qint16 kCheckUnexpected = 4;

// The check result for a failure's error number.
qint16 CheckResultForErrorNumber(qint32 lngNumber);

// Opens a connection of its own with the connection string, runs the check query and closes the
// connection again. Shows and reports nothing: every outcome, failures included, is a result code.
// When the server was reached but could not give the encrypted connection the string asks for,
// reason (if given) receives a plain explanation for the user.
qint16 ValidateDatabase(const db::ConnectionFactory& connectionFactory, const QString& strConnect,
                        QString* reason = nullptr);

// The explanation for a failed connection that asked for encryption from a server that offers
// none (or none this computer accepts); empty for any other failure.
QString EncryptionRefusalReason(const QString& strConnect, const Failure& failure);

// The message the CONNECT button shows for a result code; empty for a Navision database.
QString CheckResultMessage(qint16 intResult);

} // namespace quorvane
