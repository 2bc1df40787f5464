#pragma once

#include "db/Connection.h"
#include "support/Failure.h"

#include <QSemaphore>
#include <atomic>
#include <optional>

namespace quorvane::test {

// Holds every call of a GatedConnection until the test lets one through, then fails the call with
// the failure set, if any. A call that is not let through within 20 seconds goes on anyway and is
// counted, so a caller that never lets go (because it cannot handle events while it waits) fails
// the test instead of hanging it.
struct Gate
{
    void letOneThrough() { passes.release(); }
    void pass()
    {
        forcedOpen += passes.tryAcquire(1, 20000) ? 0 : 1;
        if (failure)
            throw *failure;
    }

    QSemaphore passes;
    std::atomic<int> forcedOpen { 0 };
    std::optional<Failure> failure;
};

// A connection whose every call is held at the gate; statements return no rows.
class GatedConnection final : public db::Connection
{
public:
    explicit GatedConnection(Gate& gate)
        : m_gate(gate)
    { }
    void Open(const QString&) override { m_gate.pass(); }
    std::unique_ptr<db::RecordSet> Execute(const QString&) override
    {
        m_gate.pass();
        return std::make_unique<NoRows>();
    }
    void setCommandTimeout(int) override { m_gate.pass(); }
    int CommandTimeout() const override { return 0; }
    void BeginTrans() override { m_gate.pass(); }
    void CommitTrans() override { m_gate.pass(); }
    void RollbackTrans() override { m_gate.pass(); }
    void Close() override { m_gate.pass(); }
    bool isOpen() const override { return true; }
    void Cancel() noexcept override { }

private:
    struct NoRows final : db::RecordSet
    {
        bool eof() const override { return true; }
        void MoveNext() override { }
        QString Fields(int) const override { return {}; }
        int fieldCount() const override { return 0; }
    };

    Gate& m_gate;
};

} // namespace quorvane::test
