#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdio>

namespace quorvane::cli {

// One line of the progress bar, at most width characters: the bar, keys done of all, time elapsed
// and an estimate of the time left from the average so far ("estimating" before the first key).
QString progressLine(int done, int total, qint64 elapsedMs, int width);

// "H:MM:SS".
QString durationText(qint64 milliseconds);

// Draws the progress bar on one terminal line of a stream and redraws it in place; does nothing at
// all when the stream is not a terminal. Whoever writes other lines to the same terminal clears
// the bar first and draws it again afterwards.
class ProgressBar
{
public:
    ProgressBar(std::FILE* stream, int total);

    bool isShown() const { return m_enabled; }
    void setDone(int done);
    void draw();
    void clear();

private:
    std::FILE* m_stream;
    bool m_enabled;
    int m_total;
    int m_done = 0;
    bool m_drawn = false;
    QElapsedTimer m_elapsed;
};

} // namespace quorvane::cli
