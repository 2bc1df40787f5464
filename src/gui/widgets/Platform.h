#pragma once

#include "db/Connection.h"

#include <QString>

namespace quorvane {

class Clock;
class MessageSink;
class SettingsStore;

// The platform services the windows use, gathered once by the program's main and swapped by tests:
// message boxes, the settings store, the clock, the database connection factory, and the
// application's folder, title and version.
struct Platform
{
    MessageSink& messages;
    SettingsStore& settings;
    const Clock& clock;
    db::ConnectionFactory connectionFactory;
    QString applicationFolder;
    QString applicationTitle = QStringLiteral("Quorvane");
    int versionMajor = QUORVANE_VERSION_MAJOR;
    int versionMinor = QUORVANE_VERSION_MINOR;
    int versionRevision = QUORVANE_VERSION_PATCH;
};

} // namespace quorvane
