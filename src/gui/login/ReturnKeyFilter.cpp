#include "login/ReturnKeyFilter.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QPlainTextEdit>

namespace quorvane {

ReturnKeyFilter::ReturnKeyFilter(QPlainTextEdit& textBox, QAbstractButton& defaultButton)
    : QObject(&textBox)
    , m_textBox(textBox)
    , m_defaultButton(defaultButton)
{
    m_textBox.installEventFilter(this);
}

bool ReturnKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_textBox || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    if (key->modifiers().testFlag(Qt::ControlModifier)) {
        m_textBox.insertPlainText(QStringLiteral("\n"));
    } else if (m_defaultButton.isEnabled() && m_defaultButton.isVisible()) {
        m_defaultButton.click();
    }
    return true;
}

} // namespace quorvane
