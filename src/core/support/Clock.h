#pragma once

#include <QDateTime>

namespace quorvane {

// The current local date and time; tests swap in a fixed clock.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

} // namespace quorvane
