#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

namespace standin {

// Appends one JSON object per request to a file, flushed before the request is answered, so a
// reader never misses a request the client has seen answered: {"connection", "database",
// "encrypted", "sql"} per SQL batch, {"connection", "encrypted", "login"} per LOGIN7 and
// {"connection", "encrypted", "transaction_request"} per transaction-manager request and
// {"attention", "connection", "encrypted"} per attention. "encrypted" tells whether the request
// arrived inside TLS.
class StatementLog
{
public:
    // Opens the file for appending; check isOpen().
    explicit StatementLog(const QString& path);

    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }
    void appendBatch(int connection, const QString& database, const QString& sql, bool encrypted);
    // authentication: "sql" or "ntlm".
    void appendLogin(int connection, const QString& authentication, bool encrypted);
    // request: "begin", "commit", "rollback" or "other".
    void appendTransactionRequest(int connection, const QString& request, bool encrypted);
    void appendAttention(int connection, bool encrypted);

private:
    void append(const QJsonObject& line);

    QFile m_file;
};

} // namespace standin
