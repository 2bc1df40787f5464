#pragma once

#include "widgets/InputBlocker.h"

#include <QGuiApplication>

namespace quorvane {

// Brackets the database check behind CONNECT. The check waits on the server for as long as the
// login time-out allows, with the window's events still flowing (see EventLoopConnection); while
// this lives the window keeps painting but drops every click and key and refuses to close, and
// the mouse pointer shows the wait. Both end with the check, however it ends.
class CheckInProgress
{
public:
    explicit CheckInProgress(QWidget& window)
        : m_inputBlocker(window)
    {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~CheckInProgress() { QGuiApplication::restoreOverrideCursor(); }
    CheckInProgress(const CheckInProgress&) = delete;
    CheckInProgress& operator=(const CheckInProgress&) = delete;

private:
    InputBlocker m_inputBlocker;
};

} // namespace quorvane
