#include "login/QtSettingsStore.h"

#include "log/Failure.h"

#include <QSettings>

namespace quorvane {

namespace {

    // Numbers of the classic file runtime, as for every other file the program touches.
    constexpr std::int32_t kPermissionDenied = 70;
    constexpr std::int32_t kPathFileAccessError = 75;

    void throwOnError(const QSettings& settings)
    {
        switch (settings.status()) {
        case QSettings::NoError:
            return;
        case QSettings::AccessError:
            throw Failure(
                kPermissionDenied,
                QStringLiteral("Permission denied: the settings file %1 cannot be written").arg(settings.fileName()));
        case QSettings::FormatError:
            throw Failure(
                kPathFileAccessError,
                QStringLiteral("Path/File access error: the settings file %1 cannot be read").arg(settings.fileName()));
        }
    }

} // namespace

QtSettingsStore::QtSettingsStore(QString applicationTitle)
    : m_applicationTitle(std::move(applicationTitle))
{ }

void QtSettingsStore::write(const QString& section, const QString& key, const QString& value)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, m_applicationTitle, m_applicationTitle);
    settings.beginGroup(section);
    settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
    throwOnError(settings);
}

QString QtSettingsStore::read(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, m_applicationTitle, m_applicationTitle);
    throwOnError(settings);
    return settings.value(section + QLatin1Char('/') + key, defaultValue).toString();
}

QString QtSettingsStore::fileName() const
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, m_applicationTitle, m_applicationTitle).fileName();
}

} // namespace quorvane
