#pragma once

#include "support/MessageSink.h"

#include <QStringList>

namespace quorvane {

// Holds messages back instead of showing them, until release() shows them on the sink it was
// given, in the order they came. For messages that must not wait for the user while the database
// holds locks on the program's behalf. Whatever is still held is shown when it goes.
class HeldMessages final : public MessageSink
{
public:
    explicit HeldMessages(MessageSink& target)
        : m_target(target)
    { }
    ~HeldMessages() override { release(); }
    HeldMessages(const HeldMessages&) = delete;
    HeldMessages& operator=(const HeldMessages&) = delete;

    void showMessage(const QString& text) override { m_texts.append(text); }

    void release() noexcept
    {
        while (!m_texts.isEmpty()) {
            try {
                m_target.showMessage(m_texts.takeFirst());
            } catch (...) { }
        }
    }

private:
    MessageSink& m_target;
    QStringList m_texts;
};

} // namespace quorvane
