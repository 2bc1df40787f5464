#pragma once

#include <QString>

namespace quorvane::test {

// The path under which the stand-in, a Linux program, reaches the file at `path`. The Windows
// tests run under Wine, whose drives map onto host folders; elsewhere the path is the same.
QString hostPath(const QString& path);

} // namespace quorvane::test
