#pragma once

#include "db/Connection.h"
#include "support/Failure.h"

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
// A connection string that cannot be used as written is the unexpected outcome; its refusal's
// text (which never holds the password) is then handed back through strRefusal, when given. Any
// failure's number and description go to `failure`, when given.
qint16 ValidateDatabase(const db::ConnectionFactory& connectionFactory, const QString& strConnect,
                        QString* strRefusal = nullptr, Failure* failure = nullptr);

// The explanation for a failed connection that asked for encryption from a server that offers
// none (or none this computer accepts); empty for any other failure.
QString EncryptionRefusalReason(const QString& strConnect, const Failure& failure);

// Whether a failure to reach the server is worth a record in the error log, because the message
// cannot tell its cause: the server names an instance (looked up through the Browser service), or
// the connection string asks for Integrated Security (which needs a Kerberos ticket).
bool NeedsFailureRecord(const QString& strServer, const QString& strConnect);

// The message the CONNECT button shows for a result code; empty for a Navision database. A
// refused connection string's text follows on the next line.
QString CheckResultMessage(qint16 intResult, const QString& strRefusal = {});

} // namespace quorvane
