#pragma once

#include "support/MessageSink.h"

#include <QString>

namespace quorvane {

// The program's messages as modal message boxes: no icon, one OK button, the application title
// as caption, over the window the user is working in.
class MessageBoxSink final : public MessageSink
{
public:
    explicit MessageBoxSink(QString caption);

    void showMessage(const QString& text) override;
    int askChoice(const QString& text, const QStringList& choices) override;

private:
    QString m_caption;
};

} // namespace quorvane
