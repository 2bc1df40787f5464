#pragma once

#include <QString>
#include <optional>

namespace standin {

// The code page SQL Server keeps char and varchar data in under a collation, and what text reads as
// after it has been through that code page.

// The code page of a Windows or SQL collation ("Latin1_General_CI_AS": 1252, "Japanese_CI_AS": 932,
// a "_UTF8" one: 65001); nothing for a collation this table does not know.
std::optional<int> codePageOf(const QString& collation);

// The text converted to the code page and read back, as a string literal written without N is
// before it is compared with a Unicode name: a character the code page cannot hold becomes '?'.
QString throughCodePage(const QString& text, int codePage);

} // namespace standin
