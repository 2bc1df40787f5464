#include "main/LogTextBox.h"

namespace quorvane {

LogTextBox::LogTextBox(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void LogTextBox::setText(const QString& text)
{
    m_text = text;
    setPlainText(text);
}

} // namespace quorvane
