#include "terminal/ProgressBar.h"

#include "terminal/Terminal.h"

#include <algorithm>

namespace quorvane::cli {

namespace {

    // One column short of 80, so that a terminal never wraps the line.
    constexpr int kBarLineWidth = 79;

} // namespace

QString durationText(qint64 milliseconds)
{
    const qint64 seconds = std::max<qint64>(0, milliseconds / 1000);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString progressLine(int done, int total, qint64 elapsedMs, int width)
{
    QString estimate = QStringLiteral("estimating");
    if (done > 0 && total >= done)
        estimate = QStringLiteral("~") + durationText(elapsedMs * (total - done) / done) + QStringLiteral(" left");
    const QString figures
        = QStringLiteral(" %1/%2  %3 elapsed  %4").arg(done).arg(total).arg(durationText(elapsedMs), estimate);
    const int barWidth = std::max(0, width - static_cast<int>(figures.size()) - 2);
    const int filled = total > 0 ? static_cast<int>(static_cast<qint64>(barWidth) * std::min(done, total) / total) : 0;
    const QString bar = QLatin1Char('[') + QString(filled, QLatin1Char('#'))
        + QString(barWidth - filled, QLatin1Char('.')) + QLatin1Char(']');
    return (bar + figures).left(width);
}

ProgressBar::ProgressBar(std::FILE* stream, int total)
    : m_stream(stream)
    , m_enabled(isTerminal(stream))
    , m_total(total)
{
    m_elapsed.start();
}

void ProgressBar::setDone(int done)
{
    m_done = done;
}

void ProgressBar::draw()
{
    if (!m_enabled)
        return;
    overwriteLine(m_stream, progressLine(m_done, m_total, m_elapsed.elapsed(), kBarLineWidth).toLocal8Bit(),
                  kBarLineWidth);
    m_drawn = true;
}

void ProgressBar::clear()
{
    if (!m_enabled || !m_drawn)
        return;
    overwriteLine(m_stream, QByteArray(), kBarLineWidth);
    m_drawn = false;
}

} // namespace quorvane::cli
