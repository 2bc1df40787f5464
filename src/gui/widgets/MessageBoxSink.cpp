#include "widgets/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace quorvane {

MessageBoxSink::MessageBoxSink(QString caption)
    : m_caption(std::move(caption))
{ }

namespace {

    QWidget* ownerWindow()
    {
        QWidget* owner = QApplication::activeModalWidget();
        return owner != nullptr ? owner : QApplication::activeWindow();
    }

} // namespace

void MessageBoxSink::showMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, m_caption, text, QMessageBox::Ok, ownerWindow());
    box.exec();
}

int MessageBoxSink::askChoice(const QString& text, const QStringList& choices)
{
    QMessageBox box(QMessageBox::Question, m_caption, text, QMessageBox::NoButton, ownerWindow());
    QList<QAbstractButton*> buttons;
    for (const QString& choice : choices)
        buttons.append(box.addButton(choice, QMessageBox::AcceptRole));
    if (!buttons.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons.first()));
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

} // namespace quorvane
