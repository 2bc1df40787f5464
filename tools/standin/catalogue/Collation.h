#pragma once

#include <QCollatorSortKey>
#include <QString>

namespace standin {

// The server's collation, Latin1_General_CI_AS: case-insensitive and accent-sensitive.

// The key under which names are looked up: two names are the same object name when their keys
// are equal ("Customer" and "CUSTOMER" are, "Cafe" and "Café" are not).
QString nameKey(const QString& name);

// A sort key that orders names as ORDER BY does under the collation: case ignored, accents kept
// (e < é < f), punctuation before digits before letters.
QCollatorSortKey sortKey(const QString& name);

// Orders two names as ORDER BY does; negative, zero or positive.
int collationCompare(const QString& left, const QString& right);

} // namespace standin
