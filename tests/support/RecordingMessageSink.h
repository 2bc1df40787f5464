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
    int askChoice(const QString& text, const QStringList& choices) override
    {
        texts.append(text);
        return answer ? answer(choices) : -1;
    }
    QStringList texts;
    std::function<void(const QString& text)> whileShown;
    // The choice the user makes when asked; none when unset.
    std::function<int(const QStringList& choices)> answer;
};

} // namespace quorvane::test
