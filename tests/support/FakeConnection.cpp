#include "support/FakeConnection.h"

#include "db/ErrorNumbers.h"
#include "db/RecordSetErrors.h"

#include <QRegularExpression>

namespace quorvane::test {

namespace {

    class FakeRecordSet final : public db::RecordSet
    {
    public:
        explicit FakeRecordSet(FakeResult result)
            : m_result(std::move(result))
        { }
        bool eof() const override { return m_row >= m_result.rows.size(); }
        void MoveNext() override
        {
            if (++m_row == m_result.failAtRow && m_result.failure)
                throw *m_result.failure;
        }
        int fieldCount() const override { return m_result.rows.isEmpty() ? 0 : int(m_result.rows.first().size()); }
        QString Fields(int index) const override
        {
            if (eof() || index < 0 || index >= m_result.rows[m_row].size())
                throw db::itemNotFound();
            return m_result.rows[m_row][index];
        }

    private:
        FakeResult m_result;
        qsizetype m_row = 0;
    };

    class FakeConnection final : public db::Connection
    {
    public:
        explicit FakeConnection(FakeDatabase& database)
            : m_database(database)
        { }
        void Open(const QString& connectionString) override
        {
            m_database.events.append(QStringLiteral("OPEN ") + connectionString);
            if (m_database.openFailure)
                throw *m_database.openFailure;
            m_open = true;
        }
        std::unique_ptr<db::RecordSet> Execute(const QString& sql) override
        {
            record(QStringLiteral("EXEC ") + sql);
            FakeResult result = m_database.respond(sql);
            if (result.failure && result.failAtRow == 0) {
                m_open = !result.dropsConnection;
                throw *result.failure;
            }
            return std::make_unique<FakeRecordSet>(std::move(result));
        }
        void setCommandTimeout(int seconds) override
        {
            m_database.events.append(QStringLiteral("TIMEOUT %1").arg(seconds));
            m_timeout = seconds;
        }
        int CommandTimeout() const override { return m_timeout; }
        void BeginTrans() override { record(QStringLiteral("BEGIN")); }
        void CommitTrans() override
        {
            record(QStringLiteral("COMMIT"));
            if (m_database.commitLosesReply) {
                m_open = false;
                throw Failure(db::kErrorFail, QStringLiteral("Communication link failure"));
            }
        }
        void RollbackTrans() override { record(QStringLiteral("ROLLBACK")); }
        void Close() override
        {
            m_database.events.append(QStringLiteral("CLOSE"));
            m_open = false;
        }
        bool isOpen() const override { return m_open; }
        void Cancel() noexcept override { m_database.events.append(QStringLiteral("CANCEL")); }

    private:
        // Records the call; a closed connection then refuses it as ADO does.
        void record(const QString& event)
        {
            m_database.events.append(event);
            if (!m_open)
                throw Failure(3709,
                              QStringLiteral("The connection cannot be used to perform this operation. It is "
                                             "either closed or invalid in this context."));
        }

        FakeDatabase& m_database;
        bool m_open = false;
        int m_timeout = db::kDefaultCommandTimeoutSeconds;
    };

} // namespace

QStringList FakeDatabase::executed() const
{
    static const QRegularExpression exec(QStringLiteral("^EXEC "));
    return events.filter(exec).replaceInStrings(exec, QString());
}

db::ConnectionFactory FakeDatabase::factory()
{
    return [this] { return std::make_unique<FakeConnection>(*this); };
}

} // namespace quorvane::test
