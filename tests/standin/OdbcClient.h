#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <sql.h>

namespace standin::test {

// One diagnostic record of a failed ODBC call.
struct Diagnostic
{
    QString state;
    int native = 0;
    QString text;
};

// What one statement answered: rows as text, and the diagnostics when it failed.
struct Outcome
{
    bool ok = false;
    QList<QStringList> rows;
    QList<Diagnostic> diagnostics;

    bool hasNative(int number) const;
    bool hasState(const QString& state) const;
    QString describe() const;
};

// A connection through unixODBC and the FreeTDS ODBC driver with the wide API, as the program
// makes it. Handles are freed when the object goes.
class OdbcClient
{
public:
    OdbcClient();
    ~OdbcClient();
    OdbcClient(const OdbcClient&) = delete;
    OdbcClient& operator=(const OdbcClient&) = delete;

    static QString connectionString(quint16 port, const QString& database, const QString& password,
                                    const QString& tdsVersion = QStringLiteral("7.4"));

    Outcome connect(const QString& connectionString);
    // Runs one statement; timeoutSeconds 0 means no limit.
    Outcome execute(const QString& sql, int timeoutSeconds = 0);
    Outcome setAutocommit(bool on);
    Outcome endTransaction(bool commit);

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
    bool m_connected = false;
};

} // namespace standin::test
