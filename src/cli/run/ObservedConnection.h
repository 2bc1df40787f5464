#pragma once

#include "db/Connection.h"
#include "support/Failure.h"

#include <optional>

namespace quorvane::cli {

// Passes every call on to the connection it wraps and notes what a rebuild did with it: the first
// failure since the last reset, and whether a transaction was begun (that is, statements that
// change the table were about to be sent). The rebuild itself reports its failures to the error
// log; the command line reads the outcome from here to write its one line per key.
class ObservedConnection final : public db::Connection
{
public:
    explicit ObservedConnection(db::Connection& wrapped);

    void resetObservation();
    const std::optional<Failure>& firstFailure() const { return m_firstFailure; }
    bool beganTransaction() const { return m_beganTransaction; }

    void Open(const QString& connectionString) override;
    std::unique_ptr<db::RecordSet> Execute(const QString& sql) override;
    void setCommandTimeout(int seconds) override;
    int CommandTimeout() const override;
    void BeginTrans() override;
    void CommitTrans() override;
    void RollbackTrans() override;
    void Close() override;
    bool isOpen() const override;

private:
    template <typename Call> auto observe(Call&& call) -> decltype(call());

    db::Connection& m_wrapped;
    std::optional<Failure> m_firstFailure;
    bool m_beganTransaction = false;
};

} // namespace quorvane::cli
