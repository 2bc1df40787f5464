#include "widgets/InputBlocker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace quorvane {

namespace {

    bool isUserInput(QEvent::Type type)
    {
        switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::NonClientAreaMouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::NativeGesture:
        case QEvent::Gesture:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }

} // namespace

InputBlocker::InputBlocker(QWidget& window, Exceptions exceptions)
    : m_window(window.window())
    , m_exceptions(std::move(exceptions))
{
    // Input reaches the window's platform window first and its widgets after; a filter on the
    // application sees both. Stopping it at the platform window matters: for a click on a widget,
    // Qt moves the keyboard focus before the widget's filters run.
    QCoreApplication::instance()->installEventFilter(this);
}

InputBlocker::~InputBlocker()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool InputBlocker::belongsToWindow(QObject* object) const
{
    if (!m_window)
        return false;
    if (const auto* widget = qobject_cast<QWidget*>(object))
        return widget->window() == m_window;
    if (auto* window = qobject_cast<QWindow*>(object)) {
        // A message box is a window of its own (its transient parent is not its parent), so it
        // keeps taking input.
        while (window->parent())
            window = window->parent();
        return window == m_window->windowHandle();
    }
    return false;
}

bool InputBlocker::reachesClickable(QObject* watched, QEvent* event) const
{
    QWidget* const clickable = m_exceptions.clickable;
    const bool mouse = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease
        || event->type() == QEvent::MouseMove;
    if (!mouse || !clickable || !clickable->isVisible() || !clickable->isEnabled())
        return false;
    // The click reaches the button through the platform window first, then the button itself.
    if (watched == clickable)
        return true;
    const QPoint at = clickable->mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
    return watched == m_window->windowHandle() && clickable->rect().contains(at);
}

bool InputBlocker::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close && belongsToWindow(watched)) {
        event->ignore();
        // The window system's close reaches the platform window, a program's the widget; either
        // is stopped where it arrives, so the question comes once.
        if (m_exceptions.closeRequested && (watched == m_window || watched == m_window->windowHandle()))
            m_exceptions.closeRequested();
        return true;
    }
    if (!isUserInput(event->type()) || !belongsToWindow(watched))
        return false;
    if (reachesClickable(watched, event))
        return false;
    if (event->type() == QEvent::KeyPress && m_exceptions.escapePressed
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        // Stopped here at the platform window, it never reaches the widget with the focus.
        m_exceptions.escapePressed();
    }
    event->accept();
    return true;
}

} // namespace quorvane
