#pragma once

#include <QString>
#include <QStringList>

namespace quorvane::test {

// The names of the files below root, sorted, each marked " holds <text>" when its bytes hold the
// text as UTF-8, as Latin-1 or as UTF-16.
QStringList filesBelow(const QString& root, const QString& text);

} // namespace quorvane::test
