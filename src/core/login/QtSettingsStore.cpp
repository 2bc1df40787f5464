#include "login/QtSettingsStore.h"

#include "support/Failure.h"

#include <QSettings>
#include <memory>

namespace quorvane {

namespace {

    // Numbers of the classic file runtime, as for every other file the program touches.
    constexpr std::int32_t kPermissionDenied = 70;
    constexpr std::int32_t kPathFileAccessError = 75;

#ifdef Q_OS_WIN
    // The classic per-user application-settings store of Windows: one registry key per
    // application below this one, a subkey per section, a string value per key.
    const QString kRegistryRoot = QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\");
    const QString kStoreKind = QStringLiteral("registry key");

    std::unique_ptr<QSettings> openStore(const QString& applicationTitle)
    {
        return std::make_unique<QSettings>(kRegistryRoot + applicationTitle, QSettings::NativeFormat);
    }

    QString storeName(const QSettings& settings)
    {
        // Qt names a registry key with a leading backslash; the user knows it without.
        QString name = settings.fileName();
        if (name.startsWith(QLatin1Char('\\')))
            name.remove(0, 1);
        return name;
    }
#else
    const QString kStoreKind = QStringLiteral("settings file");

    std::unique_ptr<QSettings> openStore(const QString& applicationTitle)
    {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, applicationTitle,
                                           applicationTitle);
    }

    QString storeName(const QSettings& settings)
    {
        return settings.fileName();
    }
#endif

    void throwOnError(const QSettings& settings)
    {
        switch (settings.status()) {
        case QSettings::NoError:
            return;
        case QSettings::AccessError:
            throw Failure(
                kPermissionDenied,
                QStringLiteral("Permission denied: the %1 %2 cannot be written").arg(kStoreKind, storeName(settings)));
        case QSettings::FormatError:
            throw Failure(kPathFileAccessError,
                          QStringLiteral("Path/File access error: the %1 %2 cannot be read")
                              .arg(kStoreKind, storeName(settings)));
        }
    }

} // namespace

QtSettingsStore::QtSettingsStore(QString applicationTitle)
    : m_applicationTitle(std::move(applicationTitle))
{ }

void QtSettingsStore::write(const QString& section, const QString& key, const QString& value)
{
    const std::unique_ptr<QSettings> settings = openStore(m_applicationTitle);
    settings->beginGroup(section);
    settings->setValue(key, value);
    settings->endGroup();
    settings->sync();
    throwOnError(*settings);
}

QString QtSettingsStore::read(const QString& section, const QString& key, const QString& defaultValue) const
{
    const std::unique_ptr<const QSettings> settings = openStore(m_applicationTitle);
    throwOnError(*settings);
    return settings->value(section + QLatin1Char('/') + key, defaultValue).toString();
}

QString QtSettingsStore::fileName() const
{
    return storeName(*openStore(m_applicationTitle));
}

} // namespace quorvane
