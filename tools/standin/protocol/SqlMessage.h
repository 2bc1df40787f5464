#pragma once

#include <QList>
#include <QString>

namespace standin {

// An ERROR or INFO as SQL Server sends it: message number, state, class (severity) and text.
// Classes above 10 are errors; 10 and below are information.
struct SqlMessage
{
    int number = 0;
    int state = 1;
    int severity = 16;
    QString text;

    bool isError() const { return severity > 10; }
    friend bool operator==(const SqlMessage&, const SqlMessage&) = default;
};

using SqlMessages = QList<SqlMessage>;

} // namespace standin
