#pragma once

#include "catalogue/Catalogue.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>
#include <utility>

namespace standin {

// Table definitions that stand in for the catalogue's own when it is written: the committed form
// of tables that an open transaction has changed. Keyed by (database position, table position).
using TableOverrides = QMap<std::pair<int, int>, Table>;

// Reads a catalogue from the fixture format; on failure returns nothing and sets error.
std::optional<Catalogue> catalogueFromJson(const QJsonObject& json, QString& error);
std::optional<Catalogue> loadCatalogue(const QString& path, QString& error);

// The catalogue in the fixture format, with the overridden tables written as given there.
QJsonObject catalogueToJson(const Catalogue& catalogue, const TableOverrides& overrides = {});
// Writes the catalogue to path atomically: readers see the old file or the new one, never a part.
bool saveCatalogue(const QString& path, const QJsonObject& json, QString& error);

} // namespace standin
