#pragma once

#include "selection/KeyRow.h"

namespace quorvane::cli {

// The widest line of the text table, so that it fits an 80-column terminal without wrapping.
inline constexpr int kTextTableWidth = 80;

// An aligned table with a header line, no line wider than kTextTableWidth: numbers right-aligned,
// names that do not fit elided at the left so that their end (the table's own name behind the
// company) stays visible. Expected refusals are named in a word or two. Keys without details
// show "-" in the detail columns.
QString listAsText(const KeyRows& rows);

// RFC 4180: a header row, fields quoted where they must be, CR LF line ends.
QString listAsCsv(const KeyRows& rows);

// A JSON array of objects with the keys constraint, table, schema, clustered, rows, reserved_kb
// and refusal; values the catalogue did not give are null, and so is the schema of a table
// outside dbo (see knownSchema).
QString listAsJson(const KeyRows& rows);

// text elided at the left to at most width characters, "…" standing for what was cut.
QString elidedLeft(const QString& text, int width);

} // namespace quorvane::cli
