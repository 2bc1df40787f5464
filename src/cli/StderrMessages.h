#pragma once

#include "log/MessageSink.h"

#include <functional>

namespace quorvane::cli {

// Messages for the user as lines on standard error, "quorvane-cli: " first; a message of several
// lines keeps its lines. beforeWriting (the progress bar's clear) runs before each message.
class StderrMessages final : public MessageSink
{
public:
    void showMessage(const QString& text) override;
    std::function<void()> beforeWriting;
};

// Writes one line to standard error the same way, without a sink.
void printError(const QString& text);

} // namespace quorvane::cli
