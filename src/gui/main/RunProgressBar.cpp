#include "main/RunProgressBar.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>

namespace quorvane {

RunProgressBar::RunProgressBar(QWidget* parent)
    : QProgressBar(parent)
{ }

void RunProgressBar::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    if (option.minimum == 0 && option.maximum == 0) {
        option.maximum = 1;
        option.progress = 0;
    }
    painter.drawControl(QStyle::CE_ProgressBar, option);
}

} // namespace quorvane
