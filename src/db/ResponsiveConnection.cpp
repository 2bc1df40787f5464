#include "db/ResponsiveConnection.h"

#include "db/CallThread.h"

// The wrapped connection and its row sets are used from the call thread, and from the calling
// thread only for calls that read what is already in memory (eof, Fields, isOpen, CommandTimeout),
// never both at the same time: the caller waits for each call before it makes the next. ODBC
// allows a connection and its statements to be used from any thread as long as calls do not
// overlap.

namespace quorvane::db {

namespace {

    class ResponsiveRecordSet final : public RecordSet
    {
    public:
        ResponsiveRecordSet(std::shared_ptr<CallThread> thread, std::unique_ptr<RecordSet> wrapped)
            : m_thread(std::move(thread))
            , m_wrapped(std::move(wrapped))
        { }
        ~ResponsiveRecordSet() override
        {
            // Releasing a statement can wait on the server; it still belongs on the call thread.
            m_thread->runWaiting([this] { m_wrapped.reset(); });
        }
        ResponsiveRecordSet(const ResponsiveRecordSet&) = delete;
        ResponsiveRecordSet& operator=(const ResponsiveRecordSet&) = delete;

        bool eof() const override { return m_wrapped->eof(); }
        void MoveNext() override
        {
            m_thread->run([this] { m_wrapped->MoveNext(); });
        }
        // A fetched row is held in memory whole, so reading its fields does not wait on the server.
        QString Fields(int index) const override { return m_wrapped->Fields(index); }

    private:
        std::shared_ptr<CallThread> m_thread;
        std::unique_ptr<RecordSet> m_wrapped;
    };

} // namespace

ResponsiveConnection::ResponsiveConnection(std::unique_ptr<Connection> wrapped)
    : m_thread(std::make_shared<CallThread>())
    , m_wrapped(std::move(wrapped))
{ }

ResponsiveConnection::~ResponsiveConnection()
{
    // Closing an open connection talks to the server; do it where every other call ran.
    m_thread->runWaiting([this] { m_wrapped.reset(); });
}

void ResponsiveConnection::Open(const QString& connectionString)
{
    m_thread->run([this, &connectionString] { m_wrapped->Open(connectionString); });
}

std::unique_ptr<RecordSet> ResponsiveConnection::Execute(const QString& sql)
{
    std::unique_ptr<RecordSet> result;
    m_thread->run([this, &sql, &result] { result = m_wrapped->Execute(sql); });
    if (!result)
        return result;
    return std::make_unique<ResponsiveRecordSet>(m_thread, std::move(result));
}

void ResponsiveConnection::setCommandTimeout(int seconds)
{
    m_thread->run([this, seconds] { m_wrapped->setCommandTimeout(seconds); });
}

int ResponsiveConnection::CommandTimeout() const
{
    return m_wrapped->CommandTimeout();
}

void ResponsiveConnection::BeginTrans()
{
    m_thread->run([this] { m_wrapped->BeginTrans(); });
}

void ResponsiveConnection::CommitTrans()
{
    m_thread->run([this] { m_wrapped->CommitTrans(); });
}

void ResponsiveConnection::RollbackTrans()
{
    m_thread->run([this] { m_wrapped->RollbackTrans(); });
}

void ResponsiveConnection::Close()
{
    m_thread->run([this] { m_wrapped->Close(); });
}

bool ResponsiveConnection::isOpen() const
{
    return m_wrapped->isOpen();
}

} // namespace quorvane::db
