#include "widgets/BusyGuard.h"

#include <QCursor>
#include <QGuiApplication>

namespace quorvane {

BusyGuard::BusyGuard(QWidget& window, Pointer pointer)
    : BusyGuard(window, nullptr, pointer)
{ }

BusyGuard::BusyGuard(QWidget& window, bool& busy, Pointer pointer)
    : BusyGuard(window, &busy, pointer)
{ }

BusyGuard::BusyGuard(QWidget& window, bool& busy, InputBlocker::Exceptions exceptions)
    : BusyGuard(window, &busy, Pointer::AsItIs, std::move(exceptions))
{ }

BusyGuard::BusyGuard(QWidget& window, bool* busy, Pointer pointer, InputBlocker::Exceptions exceptions)
    : m_inputBlocker(window, std::move(exceptions))
    , m_busy(busy)
    , m_waitPointer(pointer == Pointer::Wait)
{
    if (m_busy)
        *m_busy = true;
    if (m_waitPointer)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyGuard::~BusyGuard()
{
    // The input blocker goes after this, with the members.
    if (m_waitPointer)
        QGuiApplication::restoreOverrideCursor();
    if (m_busy)
        *m_busy = false;
}

} // namespace quorvane
