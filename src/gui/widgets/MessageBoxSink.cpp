#include "widgets/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>

namespace quorvane {

MessageBoxSink::MessageBoxSink(QString caption)
    : m_caption(std::move(caption))
{ }

void MessageBoxSink::showMessage(const QString& text)
{
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr)
        owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::NoIcon, m_caption, text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace quorvane
