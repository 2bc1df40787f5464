#pragma once

#include <QString>
#include <QStringList>

namespace quorvane {

// Shows a modal message to the user: one OK button, no icon, the application title as caption.
// Returns when the user has confirmed it. Tests record the texts instead of showing them.
class MessageSink
{
public:
    virtual ~MessageSink() = default;
    virtual void showMessage(const QString& text) = 0;
    // Asks the user to choose one of `choices`, the captions of the buttons in order: returns the
    // index of the one chosen, or -1 when the box was closed without a choice. Where nobody can be
    // asked (the default), nothing is chosen.
    virtual int askChoice(const QString& text, const QStringList& choices)
    {
        Q_UNUSED(text);
        Q_UNUSED(choices);
        return -1;
    }
};

} // namespace quorvane
