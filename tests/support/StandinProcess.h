#pragma once

#include "support/HostProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>

namespace quorvane::test {

// The project's SQL Server stand-in, started on a free loopback port for one test and stopped
// when this object goes. It logs every batch and keeps its catalogue in a state file, both in a
// temporary folder of its own.
class StandinProcess
{
public:
    // Whether the stand-in logs every batch and keeps a state file; benchmarks turn both off so
    // that they measure the program and the protocol, not the stand-in's bookkeeping.
    enum class Observation { Recorded, Unrecorded };

    // Starts the stand-in with the given fixture file; check started() afterwards.
    explicit StandinProcess(const QString& fixturePath, Observation observation = Observation::Recorded);
    // Writes the fixture object to a temporary file and starts the stand-in with it and the given
    // further options (e.g. "--instance", "NAV").
    explicit StandinProcess(const QJsonObject& fixture, const QStringList& options = {});

    // The further options that make the stand-in play the SQL Server release named ("2000" ...
    // "2022"; empty: the stand-in's default, 2016).
    static QStringList releaseOptions(const QString& release)
    {
        return release.isEmpty() ? QStringList() : QStringList { QStringLiteral("--profile"), release };
    }

    bool started() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString dataSource() const { return QStringLiteral("127.0.0.1,%1").arg(m_port); }

    // An OLE DB style connection string to this stand-in as the login window builds it.
    QString connectionString(const QString& database, const QString& user, const QString& password) const;

    // Every login, batch and transaction-manager request received so far, in order, each with
    // "connection" and "encrypted" (whether it arrived inside TLS), and "login" ("sql" or "ntlm"),
    // "sql", "transaction_request" ("begin", "commit", "rollback" or "other") or "attention".
    QJsonArray requests() const;
    // Only the SQL texts of the batches, in order.
    QStringList sqlTexts() const;
    // The catalogue as it stands after the last committed change (the fixture's format).
    QJsonObject state() const
    {
        return QJsonDocument::fromJson(fileBytes(m_folder.filePath(QStringLiteral("state.json")))).object();
    }

    void stop() { m_process.stop(); }
    // Stops the stand-in and starts it again on the same port, serving the catalogue as it was
    // last saved; the statement log goes on in the same file. Check started() afterwards.
    void restart();

    // A Navision-like fixture written by standin-gen into the folder (companies x tables keys, the
    // share of them already clustered), or the one written there before; empty when it failed.
    static QString generatedFixture(const QString& folder, int companies, int tables, int clusteredPercent = 10);

private:
    void start(const QString& fixturePath, Observation observation, quint16 port = 0);

    QTemporaryDir m_folder;
    HostProcess m_process;
    // Further command-line options, given again on a restart.
    QStringList m_options;
    quint16 m_port = 0;
};

} // namespace quorvane::test
