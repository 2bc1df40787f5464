#include "run/ObservedConnection.h"

namespace quorvane::cli {

namespace {

    // Row sets note the failures of reading rows too.
    class ObservedRecordSet final : public db::RecordSet
    {
    public:
        ObservedRecordSet(std::unique_ptr<db::RecordSet> wrapped, std::optional<Failure>& firstFailure)
            : m_wrapped(std::move(wrapped))
            , m_firstFailure(firstFailure)
        { }

        bool eof() const override { return m_wrapped->eof(); }
        void MoveNext() override
        {
            try {
                m_wrapped->MoveNext();
            } catch (const Failure& failure) {
                if (!m_firstFailure)
                    m_firstFailure = failure;
                throw;
            }
        }
        QString Fields(int index) const override { return m_wrapped->Fields(index); }
        int fieldCount() const override { return m_wrapped->fieldCount(); }

    private:
        std::unique_ptr<db::RecordSet> m_wrapped;
        std::optional<Failure>& m_firstFailure;
    };

} // namespace

ObservedConnection::ObservedConnection(db::Connection& wrapped)
    : m_wrapped(wrapped)
{ }

void ObservedConnection::resetObservation()
{
    m_firstFailure.reset();
    m_beganTransaction = false;
}

template <typename Call> auto ObservedConnection::observe(Call&& call) -> decltype(call())
{
    try {
        return call();
    } catch (const Failure& failure) {
        if (!m_firstFailure)
            m_firstFailure = failure;
        throw;
    }
}

void ObservedConnection::Open(const QString& connectionString)
{
    observe([&] { m_wrapped.Open(connectionString); });
}

std::unique_ptr<db::RecordSet> ObservedConnection::Execute(const QString& sql)
{
    return observe([&]() -> std::unique_ptr<db::RecordSet> {
        return std::make_unique<ObservedRecordSet>(m_wrapped.Execute(sql), m_firstFailure);
    });
}

void ObservedConnection::setCommandTimeout(int seconds)
{
    observe([&] { m_wrapped.setCommandTimeout(seconds); });
}

int ObservedConnection::CommandTimeout() const
{
    return m_wrapped.CommandTimeout();
}

void ObservedConnection::BeginTrans()
{
    observe([&] { m_wrapped.BeginTrans(); });
    m_beganTransaction = true;
}

void ObservedConnection::CommitTrans()
{
    observe([&] { m_wrapped.CommitTrans(); });
}

void ObservedConnection::RollbackTrans()
{
    observe([&] { m_wrapped.RollbackTrans(); });
}

void ObservedConnection::Close()
{
    observe([&] { m_wrapped.Close(); });
}

bool ObservedConnection::isOpen() const
{
    return m_wrapped.isOpen();
}

} // namespace quorvane::cli
