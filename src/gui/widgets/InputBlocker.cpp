#include "widgets/InputBlocker.h"

#include <QCoreApplication>
#include <QEvent>
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

InputBlocker::InputBlocker(QWidget& window)
    : m_window(window.window())
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

bool InputBlocker::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close && belongsToWindow(watched)) {
        event->ignore();
        return true;
    }
    if (isUserInput(event->type()) && belongsToWindow(watched)) {
        event->accept();
        return true;
    }
    return false;
}

} // namespace quorvane
