#pragma once

#include "widgets/InputBlocker.h"

class QWidget;

namespace quorvane {

// Brackets a wait on the database during which the window's events keep flowing (see
// ResponsiveConnection): a run, a query behind a click, the login's check. While it lives the
// window keeps painting but takes no clicks or keys and refuses to close (InputBlocker), the
// window's busy flag, when it has one, is set, and the mouse pointer shows the wait when asked.
// All of it ends with the guard, however the scope ends.
class BusyGuard
{
public:
    enum class Pointer { AsItIs, Wait };

    // For a window without a busy flag.
    explicit BusyGuard(QWidget& window, Pointer pointer = Pointer::AsItIs);
    // For a window that tells others through `busy` that it is waiting (the main window then
    // refuses to close and ignores a second start). The flag is cleared when the guard ends.
    BusyGuard(QWidget& window, bool& busy, Pointer pointer = Pointer::AsItIs);
    // The same, with what still reaches the user meanwhile (a Stop button, Esc, closing).
    BusyGuard(QWidget& window, bool& busy, InputBlocker::Exceptions exceptions);
    ~BusyGuard();
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    BusyGuard(QWidget& window, bool* busy, Pointer pointer, InputBlocker::Exceptions exceptions = {});

    InputBlocker m_inputBlocker;
    bool* const m_busy;
    const bool m_waitPointer;
};

} // namespace quorvane
