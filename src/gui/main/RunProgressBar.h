#pragma once

#include <QProgressBar>

namespace quorvane {

// The run's progress bar. Qt draws a bar whose minimum and maximum are both 0 as a busy
// animation; a run over no ticked rows sets exactly that maximum, and the user must see an empty
// bar instead. The range itself is kept as set, so maximum() still reports 0. A maximum set below
// the current value empties the bar (Qt's own rule) until the next value is set.
class RunProgressBar final : public QProgressBar
{
    Q_OBJECT

public:
    explicit RunProgressBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quorvane
