#pragma once

#include "db/Connection.h"
#include "log/Failure.h"

#include <QSemaphore>
#include <atomic>
#include <optional>

namespace quorvane::test {

// Holds every call of a GatedConnection until the test lets one through. A call that is not let
// through within 20 seconds goes on anyway and is counted, so a caller that never lets go (because
// it cannot handle events while it waits) fails the test instead of hanging it. With a failure
// set, the call numbered failingCall (from 0) throws it once let through.
struct Gate
{
    void letOneThrough() { passes.release(); }
    void pass()
    {
        forcedOpen += passes.tryAcquire(1, 20000) ? 0 : 1;
        if (failure && calls++ == failingCall)
            throw *failure;
    }

    QSemaphore passes;
    std::atomic<int> forcedOpen { 0 };
    std::optional<Failure> failure;
    int failingCall = 0;
    int calls = 0;
};

// A connection that answers a SELECT with one row of one column and any other statement with no
// rows, each call (and the move past the row) held at the gate.
class GatedConnection final : public db::Connection
{
public:
    explicit GatedConnection(Gate& gate)
        : m_gate(gate)
    { }
    void Open(const QString&) override { m_gate.pass(); }
    std::unique_ptr<db::RecordSet> Execute(const QString& sql) override
    {
        m_gate.pass();
        return std::make_unique<RecordSet>(m_gate, !sql.startsWith(QLatin1String("SELECT")));
    }
    void setCommandTimeout(int) override { m_gate.pass(); }
    int CommandTimeout() const override { return 0; }
    void BeginTrans() override { m_gate.pass(); }
    void CommitTrans() override { m_gate.pass(); }
    void RollbackTrans() override { m_gate.pass(); }
    void Close() override { m_gate.pass(); }
    bool isOpen() const override { return true; }

private:
    class RecordSet final : public db::RecordSet
    {
    public:
        RecordSet(Gate& gate, bool empty)
            : m_gate(gate)
            , m_eof(empty)
        { }
        bool eof() const override { return m_eof; }
        void MoveNext() override
        {
            m_gate.pass();
            m_eof = true;
        }
        QString Fields(int) const override { return QStringLiteral("No_"); }
        int fieldCount() const override { return 1; }

    private:
        Gate& m_gate;
        bool m_eof;
    };

    Gate& m_gate;
};

} // namespace quorvane::test
