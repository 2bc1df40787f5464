#pragma once

#include <QFile>
#include <QString>

namespace standin {

// Appends one JSON object per SQL batch to a file, {"connection", "database", "sql"}, flushed
// before the batch is answered, so a reader never misses a batch the client has seen answered.
class StatementLog
{
public:
    // Opens the file for appending; check isOpen().
    explicit StatementLog(const QString& path);

    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }
    void append(int connection, const QString& database, const QString& sql);

private:
    QFile m_file;
};

} // namespace standin
