#pragma once

#include <QPlainTextEdit>
#include <QString>

namespace quorvane {

// A read-only multi-line text box that keeps its text exactly as it was set, CR LF line ends
// included; the display shows each CR LF as one line break. The user can select and copy the
// text but not change it.
class LogTextBox final : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogTextBox(QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    void setText(const QString& text);

private:
    QString m_text;
};

} // namespace quorvane
