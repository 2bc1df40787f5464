#include "db/EventLoopConnection.h"

#include "db/CallThread.h"
#include "db/RecordSetErrors.h"
#include "support/Failure.h"

#include <optional>
#include <vector>

// The wrapped connection and its row sets are used from the call thread, and from the calling
// thread only for calls that read what is already in memory (eof, Fields, isOpen, CommandTimeout),
// never both at the same time: the caller waits for each call before it makes the next. ODBC
// allows a connection and its statements to be used from any thread as long as calls do not
// overlap.

namespace quorvane::db {

namespace {

    // Rows are fetched in batches on the call thread and then read here from memory, so a long
    // result costs one hand-over per batch instead of one per row. A failure met while fetching
    // (a field that cannot be read, a connection lost between rows) is kept and raised exactly
    // where the reader would have met it: at that field, or at the move past the last good row.
    class EventLoopRecordSet final : public RecordSet
    {
    public:
        EventLoopRecordSet(std::shared_ptr<CallThread> thread, std::unique_ptr<RecordSet> wrapped)
            : m_thread(std::move(thread))
            , m_wrapped(std::move(wrapped))
            , m_fieldCount(m_wrapped->fieldCount())
        { }
        ~EventLoopRecordSet() override
        {
            // Releasing a statement can wait on the server; it still belongs on the call thread.
            m_thread->runWaiting([this] { m_wrapped.reset(); });
        }
        EventLoopRecordSet(const EventLoopRecordSet&) = delete;
        EventLoopRecordSet& operator=(const EventLoopRecordSet&) = delete;

        // Runs on the call thread.
        void fetchBatch()
        {
            m_rows.clear();
            m_current = 0;
            for (int fetched = 0; fetched < kBatchRows && !m_wrapped->eof(); ++fetched) {
                Row row(static_cast<size_t>(m_fieldCount));
                for (int field = 0; field < m_fieldCount; ++field) {
                    try {
                        row[static_cast<size_t>(field)].value = m_wrapped->Fields(field);
                    } catch (const Failure& failure) {
                        row[static_cast<size_t>(field)].failure = failure;
                    }
                }
                m_rows.push_back(std::move(row));
                try {
                    m_wrapped->MoveNext();
                } catch (const Failure& failure) {
                    m_moveFailure = failure;
                    break;
                }
            }
        }

        bool eof() const override { return m_current >= m_rows.size(); }
        void MoveNext() override
        {
            if (eof())
                throw noCurrentRecord();
            if (++m_current < m_rows.size())
                return;
            if (m_moveFailure) {
                const Failure failure = *m_moveFailure;
                m_moveFailure.reset();
                m_rows.clear();
                m_current = 0;
                throw failure;
            }
            m_thread->runWithEventLoop([this] { fetchBatch(); });
        }
        QString Fields(int index) const override
        {
            if (eof())
                throw noCurrentRecord();
            if (index < 0 || index >= m_fieldCount)
                throw itemNotFound();
            const Cell& cell = m_rows[m_current][static_cast<size_t>(index)];
            if (cell.failure)
                throw *cell.failure;
            return cell.value;
        }
        int fieldCount() const override { return m_fieldCount; }

    private:
        static constexpr int kBatchRows = 4096;
        struct Cell
        {
            QString value;
            std::optional<Failure> failure;
        };
        using Row = std::vector<Cell>;

        std::shared_ptr<CallThread> m_thread;
        std::unique_ptr<RecordSet> m_wrapped;
        const int m_fieldCount;
        std::vector<Row> m_rows;
        size_t m_current = 0;
        std::optional<Failure> m_moveFailure;
    };

} // namespace

EventLoopConnection::EventLoopConnection(std::unique_ptr<Connection> wrapped)
    : m_thread(std::make_shared<CallThread>())
    , m_wrapped(std::move(wrapped))
{ }

EventLoopConnection::~EventLoopConnection()
{
    // Closing an open connection talks to the server; do it where every other call ran.
    m_thread->runWaiting([this] { m_wrapped.reset(); });
}

void EventLoopConnection::Open(const QString& connectionString)
{
    m_thread->runWithEventLoop([this, &connectionString] { m_wrapped->Open(connectionString); });
}

std::unique_ptr<RecordSet> EventLoopConnection::Execute(const QString& sql)
{
    std::unique_ptr<EventLoopRecordSet> rows;
    m_thread->runWithEventLoop([this, &sql, &rows] {
        std::unique_ptr<RecordSet> result = m_wrapped->Execute(sql);
        if (!result)
            return;
        rows = std::make_unique<EventLoopRecordSet>(m_thread, std::move(result));
        rows->fetchBatch();
    });
    return rows;
}

void EventLoopConnection::setCommandTimeout(int seconds)
{
    m_thread->runWithEventLoop([this, seconds] { m_wrapped->setCommandTimeout(seconds); });
}

int EventLoopConnection::CommandTimeout() const
{
    return m_wrapped->CommandTimeout();
}

void EventLoopConnection::BeginTrans()
{
    m_thread->runWithEventLoop([this] { m_wrapped->BeginTrans(); });
}

void EventLoopConnection::CommitTrans()
{
    m_thread->runWithEventLoop([this] { m_wrapped->CommitTrans(); });
}

void EventLoopConnection::RollbackTrans()
{
    m_thread->runWithEventLoop([this] { m_wrapped->RollbackTrans(); });
}

void EventLoopConnection::Close()
{
    m_thread->runWithEventLoop([this] { m_wrapped->Close(); });
}

bool EventLoopConnection::isOpen() const
{
    return m_wrapped->isOpen();
}

void EventLoopConnection::Cancel() noexcept
{
    m_wrapped->Cancel();
}

} // namespace quorvane::db
