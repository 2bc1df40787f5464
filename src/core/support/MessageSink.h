#pragma once

#include <QString>

namespace quorvane {

// Shows a modal message to the user: one OK button, no icon, the application title as caption.
// Returns when the user has confirmed it. Tests record the texts instead of showing them.
class MessageSink
{
public:
    virtual ~MessageSink() = default;
    virtual void showMessage(const QString& text) = 0;
};

} // namespace quorvane
