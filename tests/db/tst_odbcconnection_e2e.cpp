#include "db/ErrorNumbers.h"
#include "db/OdbcConnection.h"
#include "log/Failure.h"
#include "support/StandinProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <optional>

using quorvane::Failure;
using quorvane::test::StandinProcess;
using namespace quorvane::db;

namespace {

// A password that only arrives intact when every layer quotes it right.
const QString kUser = QStringLiteral("navuser");
const QString kPassword = QStringLiteral("S3c;r}e=t 'ä\"");
const QString kDatabase = QStringLiteral("NAV");

// Names that must survive the trip in both directions.
const QString kUnicodeTable = QStringLiteral("Müller€日本'] Ltd$Straße");
const QString kUnicodeKey = QStringLiteral("Müller€日本'] Ltd$Straße$0");
const QString kUnicodeColumn = QStringLiteral("Äpfel'ß]");

const QString kCheckQuery = QStringLiteral(
    "select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid order by a.name");
const QString kPrimaryKeyList = QStringLiteral(
    "SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From INFORMATION_SCHEMA.TABLE_CONSTRAINTS "
    "WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY [CONSTRAINT_NAME]");

QString literal(QString text)
{
    return text.replace(QLatin1Char('\''), QLatin1String("''"));
}

QString bracketed(QString name)
{
    return QLatin1Char('[') + name.replace(QLatin1Char(']'), QLatin1String("]]")) + QLatin1Char(']');
}

QString keyColumnQuery(const QString& table, const QString& key)
{
    return QStringLiteral("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE "
                          "isKCU.CONSTRAINT_NAME = '%1' AND isKCU.TABLE_NAME = '%2' ORDER BY isKCU.ORDINAL_POSITION")
        .arg(literal(key), literal(table));
}

QString dropKey(const QString& table, const QString& key)
{
    return QStringLiteral("ALTER TABLE dbo.%1 DROP CONSTRAINT %2").arg(bracketed(table), bracketed(key));
}

QString addClusteredKey(const QString& table, const QString& key, const QString& columns)
{
    return QStringLiteral("ALTER TABLE dbo.%1 ADD CONSTRAINT %2 PRIMARY KEY CLUSTERED  (%3) ON [PRIMARY]")
        .arg(bracketed(table), bracketed(key), columns);
}

QJsonObject table(const QString& name, const QStringList& keyColumns, const QJsonArray& foreignKeys = {})
{
    QJsonArray columns;
    QJsonArray key;
    for (const QString& column : keyColumns) {
        columns.append(QJsonObject { { "name", column }, { "nullable", false } });
        key.append(QJsonObject { { "name", column } });
    }
    return QJsonObject { { "name", name },
                         { "columns", columns },
                         { "primary_key", QJsonObject { { "name", name + QStringLiteral("$0") }, { "columns", key } } },
                         { "foreign_keys", foreignKeys } };
}

QJsonObject fixture()
{
    const QJsonArray referencesCustomer { QJsonObject {
        { "name", "FK_Sales_Customer" },
        { "columns", QJsonArray { "Customer No_" } },
        { "references", QJsonObject { { "table", "Cronus$Customer" } } } } };
    const QJsonArray navTables { table("Cronus$Item", { "No_", "Variant Code" }),
                                 table("Cronus$Customer", { "No_" }),
                                 table("Cronus$Sales", { "Document No_", "Customer No_" }, referencesCustomer),
                                 table("Cronus$Slow", { "No_" }),
                                 table("Cronus$Cut", { "No_" }),
                                 table(kUnicodeTable, { kUnicodeColumn }) };
    const QJsonArray users { QJsonObject { { "name", "navuser" }, { "sid", "0x0A0B" } } };
    const QJsonArray databases {
        QJsonObject { { "name", kDatabase },
                      { "users", users },
                      { "navision_user_table", QJsonObject { { "sids", QJsonArray { "0x0A0B" } } } },
                      { "tables", navTables } },
        QJsonObject { { "name", "PLAIN" }, { "users", users }, { "tables", QJsonArray {} } },
    };
    const QJsonArray faults {
        QJsonObject { { "database", kDatabase },
                      { "table", "Cronus$Slow" },
                      { "statement", "key_columns" },
                      { "delay_ms", 3000 } },
        QJsonObject {
            { "database", kDatabase }, { "table", "Cronus$Cut" }, { "statement", "add" }, { "disconnect", true } },
    };
    return QJsonObject { { "logins", QJsonArray { QJsonObject { { "name", kUser }, { "password", kPassword } } } },
                         { "databases", databases },
                         { "faults", faults } };
}

QString oleDbQuoted(QString value)
{
    return QLatin1Char('"') + value.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString connectionString(const QString& dataSource, const QString& database, const QString& password)
{
    return QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%1;Initial Catalog=%2;User ID=%3;"
                          "Password=%4;")
        .arg(dataSource, database, kUser, oleDbQuoted(password));
}

QStringList column(RecordSet& rows, int index)
{
    QStringList values;
    for (; !rows.eof(); rows.MoveNext())
        values.append(rows.Fields(index));
    return values;
}

// The primary key of a table in the stand-in's saved catalogue, if it has one.
std::optional<QJsonObject> primaryKeyInState(const StandinProcess& standin, const QString& tableName)
{
    for (const QJsonValue& database : standin.state().value("databases").toArray()) {
        for (const QJsonValue& entry : database.toObject().value("tables").toArray()) {
            const QJsonObject object = entry.toObject();
            if (object.value("name").toString() == tableName) {
                if (!object.contains("primary_key") || object.value("primary_key").isNull())
                    return std::nullopt;
                return object.value("primary_key").toObject();
            }
        }
    }
    return std::nullopt;
}

} // namespace

class TestOdbcConnectionEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;

    std::unique_ptr<Connection> openConnection()
    {
        auto connection = odbcConnectionFactory()();
        connection->Open(connectionString(m_standin->dataSource(), kDatabase, kPassword));
        return connection;
    }

private Q_SLOTS:
    void init()
    {
        m_standin = std::make_unique<StandinProcess>(fixture());
        QVERIFY(m_standin->started());
    }

    void cleanup() { m_standin.reset(); }

    void readsRowsInOrder()
    {
        const auto connection = openConnection();
        QVERIFY(connection->isOpen());

        const auto keys = connection->Execute(kPrimaryKeyList);
        QStringList tables;
        QStringList catalogues;
        for (; !keys->eof(); keys->MoveNext()) {
            tables.append(keys->Fields(1));
            catalogues.append(keys->Fields(2));
        }
        QCOMPARE(tables,
                 QStringList(
                     { "Cronus$Customer", "Cronus$Cut", "Cronus$Item", "Cronus$Sales", "Cronus$Slow", kUnicodeTable }));
        QCOMPARE(catalogues, QStringList(6, kDatabase));

        const auto itemKey = connection->Execute(keyColumnQuery("Cronus$Item", "Cronus$Item$0"));
        QCOMPARE(column(*itemKey, 0), QStringList({ "No_", "Variant Code" }));
        QVERIFY_THROWS_EXCEPTION(Failure, itemKey->MoveNext());
    }

    void unicodeNamesRoundTrip()
    {
        const auto connection = openConnection();

        QVERIFY(column(*connection->Execute(kPrimaryKeyList), 0).contains(kUnicodeKey));
        QCOMPARE(column(*connection->Execute(keyColumnQuery(kUnicodeTable, kUnicodeKey)), 0),
                 QStringList { kUnicodeColumn });
        QCOMPARE(m_standin->sqlTexts().last(), keyColumnQuery(kUnicodeTable, kUnicodeKey));
    }

    // A reader may leave rows unread while it sends the next statement; the driver serves one
    // statement at a time, and the first reader must still get all of its rows.
    void earlierRowsSurviveTheNextStatement()
    {
        const auto connection = openConnection();

        const auto keys = connection->Execute(kPrimaryKeyList);
        QCOMPARE(keys->Fields(1), QStringLiteral("Cronus$Customer"));
        QCOMPARE(column(*connection->Execute(keyColumnQuery("Cronus$Item", "Cronus$Item$0")), 0).size(), 2);
        QCOMPARE(column(*keys, 1).size(), 6);
    }

    // The driver also reads freetds.conf and its environment variables; the connection string wins,
    // and the user's environment is left as it was.
    void connectionStringWinsOverDriverSettings()
    {
        QTemporaryDir folder;
        QFile configuration(folder.filePath(QStringLiteral("freetds.conf")));
        QVERIFY(configuration.open(QIODevice::WriteOnly));
        configuration.write("[global]\n\ttds version = 4.2\n\tport = 1\n\tencryption = off\n");
        configuration.close();
        const QList<QPair<const char*, QByteArray>> settings { { "FREETDSCONF",
                                                                 configuration.fileName().toLocal8Bit() },
                                                               { "TDSVER", "5.0" },
                                                               { "TDSPORT", "1" },
                                                               { "TDSHOST", "192.0.2.1" } };
        for (const auto& [name, value] : settings)
            qputenv(name, value);
        const auto restore = qScopeGuard([&settings] {
            for (const auto& setting : settings)
                qunsetenv(setting.first);
        });

        const auto connection = openConnection();
        QVERIFY(!connection->Execute(kCheckQuery)->eof());
        for (const auto& [name, value] : settings)
            QCOMPARE(qgetenv(name), value);
    }

    void databaseCheckOutcomes_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("number");

        QTest::newRow("a Navision database") << true << kDatabase << kPassword << 0;
        QTest::newRow("nothing listening") << false << kDatabase << kPassword << kErrorFail;
        QTest::newRow("wrong password") << true << kDatabase << QStringLiteral("S3c;r}e=t 'a\"")
                                        << kErrorAuthenticationFailed;
        QTest::newRow("database that cannot be opened") << true << QStringLiteral("NOSUCH") << kPassword << kErrorFail;
        QTest::newRow("missing per-user table") << true << QStringLiteral("PLAIN") << kPassword << kErrorNoTable;
    }

    // The login check's steps: open, run the check query, look at EOF, close.
    void databaseCheckOutcomes()
    {
        QFETCH(bool, listening);
        QFETCH(QString, database);
        QFETCH(QString, password);
        QFETCH(int, number);

        const QString dataSource = m_standin->dataSource();
        if (!listening)
            m_standin->stop();
        auto connection = odbcConnectionFactory()();
        try {
            connection->Open(connectionString(dataSource, database, password));
            const auto users = connection->Execute(kCheckQuery);
            QVERIFY(!users->eof());
            connection->Close();
            QCOMPARE(0, number);
        } catch (const Failure& failure) {
            QVERIFY2(!failure.description().contains(QLatin1String("S3c")), qPrintable(failure.description()));
            QCOMPARE(failure.number(), number);
        }
    }

    void errorsOfOneStatementInOrder()
    {
        const auto connection = openConnection();
        try {
            connection->Execute(dropKey("Cronus$Customer", "Cronus$Customer$0"));
            QFAIL("the referenced key was dropped");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), 3725);
            const QStringList lines = failure.description().split(QLatin1Char('\n'));
            QCOMPARE(lines.size(), 2);
            QVERIFY2(lines.at(0).contains(QLatin1String("FK_Sales_Customer")), qPrintable(lines.at(0)));
            QCOMPARE(lines.at(1), QStringLiteral("Could not drop constraint. See previous errors."));
        }
        QVERIFY(primaryKeyInState(*m_standin, "Cronus$Customer"));
    }

    void commandTimeout()
    {
        const auto connection = openConnection();
        QCOMPARE(connection->CommandTimeout(), kDefaultCommandTimeoutSeconds);

        connection->setCommandTimeout(1);
        try {
            connection->Execute(keyColumnQuery("Cronus$Slow", "Cronus$Slow$0"));
            QFAIL("the slow statement did not time out");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), kErrorFail);
            QCOMPARE(failure.description(), QStringLiteral("Query timeout expired"));
        }
        QCOMPARE(column(*connection->Execute(keyColumnQuery("Cronus$Item", "Cronus$Item$0")), 0).size(), 2);

        connection->setCommandTimeout(0);
        QCOMPARE(column(*connection->Execute(keyColumnQuery("Cronus$Slow", "Cronus$Slow$0")), 0),
                 QStringList { "No_" });
    }

    void committedRebuildIsKept()
    {
        const auto connection = openConnection();
        connection->setCommandTimeout(0);
        connection->BeginTrans();
        QVERIFY(connection->Execute(dropKey("Cronus$Item", "Cronus$Item$0"))->eof());
        QVERIFY(connection->Execute(addClusteredKey("Cronus$Item", "Cronus$Item$0", "[No_],[Variant Code]"))->eof());
        connection->CommitTrans();

        const std::optional<QJsonObject> key = primaryKeyInState(*m_standin, "Cronus$Item");
        QVERIFY(key);
        QVERIFY(key->value("clustered").toBool());
    }

    void rolledBackDropLeavesTheKey()
    {
        const auto connection = openConnection();
        connection->BeginTrans();
        connection->Execute(dropKey("Cronus$Item", "Cronus$Item$0"));
        connection->RollbackTrans();

        QVERIFY(primaryKeyInState(*m_standin, "Cronus$Item"));
        QCOMPARE(column(*connection->Execute(keyColumnQuery("Cronus$Item", "Cronus$Item$0")), 0).size(), 2);
    }

    // The connection drops between DROP and ADD: the server rolls the transaction back and the key
    // is where it was.
    void cutConnectionLeavesTheCatalogueAsBefore()
    {
        const auto connection = openConnection();
        connection->BeginTrans();
        connection->Execute(dropKey("Cronus$Cut", "Cronus$Cut$0"));
        try {
            connection->Execute(addClusteredKey("Cronus$Cut", "Cronus$Cut$0", "[No_]"));
            QFAIL("the cut connection went unnoticed");
        } catch (const Failure& failure) {
            QCOMPARE(failure.number(), kErrorFail);
        }
        connection->Close();
        QVERIFY(!connection->isOpen());

        const auto other = openConnection();
        QCOMPARE(column(*other->Execute(keyColumnQuery("Cronus$Cut", "Cronus$Cut$0")), 0), QStringList { "No_" });
        const std::optional<QJsonObject> key = primaryKeyInState(*m_standin, "Cronus$Cut");
        QVERIFY(key);
        QVERIFY(!key->value("clustered").toBool());
    }
};

QTEST_GUILESS_MAIN(TestOdbcConnectionEndToEnd)
#include "tst_odbcconnection_e2e.moc"
