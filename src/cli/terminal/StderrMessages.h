#pragma once

#include "support/MessageSink.h"

#include <functional>

namespace quorvane::cli {

// Messages for the user as lines on standard error, "quorvane-cli: " first; a message of several
// lines keeps its lines. A message the same as the one just before it is not repeated: a run in
// which a thousand tables fail says "see the error log" once, not a thousand times.
// beforeWriting (the progress bar's clear) runs before each message written.
class StderrMessages final : public MessageSink
{
public:
    void showMessage(const QString& text) override;
    std::function<void()> beforeWriting;

private:
    QString m_last;
};

// Writes one line to standard error the same way, without a sink.
void printError(const QString& text);

} // namespace quorvane::cli
