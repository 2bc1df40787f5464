#include "log/Failure.h"
#include "login/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvane;

class tst_QtSettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void roundTrip_data();
    void roundTrip();
    void unwritableStoreThrows();

private:
    QTemporaryDir m_configHome;
};

void tst_QtSettingsStore::initTestCase()
{
    // QSettings takes the user's folder from XDG_CONFIG_HOME when it is first used.
    QVERIFY(m_configHome.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
}

void tst_QtSettingsStore::init()
{
    QFile::remove(m_configHome.filePath(QStringLiteral("Quorvane")));
    QDir(m_configHome.filePath(QStringLiteral("Quorvane"))).removeRecursively();
}

void tst_QtSettingsStore::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "SRV01";
    QTest::newRow("blanks kept") << "  nav user  ";
    QTest::newRow("separators and quotes") << "a;b=c \"d\" 'e'";
    QTest::newRow("placeholder") << "%DB%";
    QTest::newRow("looks like a typed value") << "@Variant(42)";
    QTest::newRow("non-ASCII") << QStringLiteral("Sérveur-名前");
    QTest::newRow("empty") << QString();
}

void tst_QtSettingsStore::roundTrip()
{
    QFETCH(QString, value);
    QtSettingsStore(QStringLiteral("Quorvane")).write(QStringLiteral("Settings"), QStringLiteral("Server"), value);

    const QtSettingsStore store(QStringLiteral("Quorvane"));
    QCOMPARE(store.fileName(), m_configHome.filePath(QStringLiteral("Quorvane/Quorvane.conf")));
    QVERIFY(QFile::exists(store.fileName()));
    QCOMPARE(store.read(QStringLiteral("Settings"), QStringLiteral("Server"), QStringLiteral("default")), value);
    QCOMPARE(store.read(QStringLiteral("Settings"), QStringLiteral("DB"), QStringLiteral("default")),
             QStringLiteral("default"));
}

void tst_QtSettingsStore::unwritableStoreThrows()
{
    // A file where the settings folder belongs cannot be written through, even by root.
    QFile blocker(m_configHome.filePath(QStringLiteral("Quorvane")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QtSettingsStore store(QStringLiteral("Quorvane"));
    try {
        store.write(QStringLiteral("Settings"), QStringLiteral("Server"), QStringLiteral("SRV01"));
        QFAIL("the write did not fail");
    } catch (const Failure& failure) {
        QCOMPARE(failure.number(), 70);
        QVERIFY(failure.description().contains(QStringLiteral("Quorvane.conf")));
    }
}

QTEST_GUILESS_MAIN(tst_QtSettingsStore)
#include "tst_QtSettingsStore.moc"
