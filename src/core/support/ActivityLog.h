#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace quorvane {

// A date and time in the general date format of the user's regional settings: the locale's short
// date followed by its time with seconds.
QString generalDateText(const QDateTime& moment, const QLocale& locale = QLocale::system());

// One line of the activity log file: time stamp, then marker ("- DROP: " or "- ADD: "), then the statement.
QString activityLogLine(const QDateTime& moment, const QString& marker, const QString& statement,
                        const QLocale& locale = QLocale::system());

// The on-screen log's text after appending a line: a text longer than 4000 characters is emptied
// first, then the line and CR LF go at the end.
QString textWithAppendedLine(const QString& currentText, const QString& line);

} // namespace quorvane
