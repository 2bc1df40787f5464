#pragma once

#include "log/MessageSink.h"

#include <QStringList>

namespace quorvane::test {

// Records message texts in order instead of showing them.
class RecordingMessageSink final : public MessageSink
{
public:
    void showMessage(const QString& text) override { texts.append(text); }
    QStringList texts;
};

} // namespace quorvane::test
