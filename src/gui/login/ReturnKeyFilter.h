#pragma once

#include <QObject>

class QAbstractButton;
class QPlainTextEdit;

namespace quorvane {

// Makes Enter in a multi-line text box behave as in the rest of the window: it clicks the
// window's default button while that button is enabled and does nothing otherwise. Ctrl+Enter
// types the line break instead.
class ReturnKeyFilter final : public QObject
{
    Q_OBJECT

public:
    ReturnKeyFilter(QPlainTextEdit& textBox, QAbstractButton& defaultButton);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPlainTextEdit& m_textBox;
    QAbstractButton& m_defaultButton;
};

} // namespace quorvane
