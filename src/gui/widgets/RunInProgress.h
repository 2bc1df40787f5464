#pragma once

#include <memory>
#include <utility>

namespace quorvane {

// Brackets one fix run. While it lives the window's busy flag is set (the window then refuses to
// close and ignores a second start) and the input blocker it holds, if any, keeps the user's
// clicks, keys and ticks away from the window; both end with the run, however it ends.
class RunInProgress
{
public:
    RunInProgress(bool& busy, std::shared_ptr<void> inputBlocker)
        : m_busy(busy)
        , m_inputBlocker(std::move(inputBlocker))
    {
        m_busy = true;
    }
    ~RunInProgress()
    {
        m_inputBlocker.reset();
        m_busy = false;
    }
    RunInProgress(const RunInProgress&) = delete;
    RunInProgress& operator=(const RunInProgress&) = delete;

private:
    bool& m_busy;
    std::shared_ptr<void> m_inputBlocker;
};

} // namespace quorvane
