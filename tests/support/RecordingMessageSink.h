#pragma once

#include "support/MessageSink.h"

#include <QStringList>
#include <functional>

namespace quorvane::test {

// Records message texts in order instead of showing them; `whileShown`, when set, runs for each
// message as if the user were looking at its box.
class RecordingMessageSink final : public MessageSink
{
public:
    void showMessage(const QString& text) override
    {
        texts.append(text);
        if (whileShown)
            whileShown(text);
    }
    QStringList texts;
    std::function<void(const QString& text)> whileShown;
};

} // namespace quorvane::test
