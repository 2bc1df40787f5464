#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace quorvane {

// While it exists, one window takes no input: mouse, keyboard, wheel, touch, tablet, shortcuts,
// context menus and drops aimed at it or any of its widgets are dropped, not held back for later,
// and closing it is refused. It still repaints, and other windows (a message box shown meanwhile)
// take input as usual. Used around a run that keeps the event loop going while it waits on the
// database, so that the run cannot be re-entered or its list changed under it.
class InputBlocker final : public QObject
{
public:
    // What still reaches the user during the wait: a button that takes clicks (Stop), and what the
    // Esc key and a request to close the window do instead of nothing.
    struct Exceptions
    {
        QPointer<QWidget> clickable;
        std::function<void()> escapePressed;
        std::function<void()> closeRequested;
    };

    explicit InputBlocker(QWidget& window, Exceptions exceptions = {});
    ~InputBlocker() override;
    InputBlocker(const InputBlocker&) = delete;
    InputBlocker& operator=(const InputBlocker&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool belongsToWindow(QObject* object) const;
    // A mouse event on its way to the button that still takes clicks.
    bool reachesClickable(QObject* watched, QEvent* event) const;

    QPointer<QWidget> m_window;
    Exceptions m_exceptions;
};

} // namespace quorvane
