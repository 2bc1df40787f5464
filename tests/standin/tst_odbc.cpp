#include "OdbcClient.h"
#include "support/StandinProcess.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <future>

using quorvane::test::StandinProcess;
using standin::test::OdbcClient;
using standin::test::Outcome;

namespace {

const QString kPassword = QStringLiteral("Demo#2006");
const QString kCustomer = QStringLiteral("Jim's Bikes$Customer");
const QString kItem = QStringLiteral("Jim's Bikes$Item");

QJsonObject demoWithFaults(const QJsonArray& faults)
{
    QFile file(StandinProcess::demoFixturePath());
    file.open(QIODevice::ReadOnly);
    QJsonObject fixture = QJsonDocument::fromJson(file.readAll()).object();
    fixture.insert(QStringLiteral("faults"), faults);
    return fixture;
}

QString bracketed(QString name)
{
    return u'[' + name.replace(u']', QStringLiteral("]]")) + u']';
}

QString quoted(QString text)
{
    return u'\'' + text.replace(u'\'', QStringLiteral("''")) + u'\'';
}

QString primaryKeyList()
{
    return QStringLiteral("SELECT [CONSTRAINT_NAME], [TABLE_NAME],[CONSTRAINT_CATALOG] From "
                          "INFORMATION_SCHEMA.TABLE_CONSTRAINTS WHERE CONSTRAINT_TYPE='PRIMARY KEY' ORDER BY "
                          "[CONSTRAINT_NAME]");
}

QString keyColumns(const QString& table)
{
    return QStringLiteral("SELECT isKCU.COLUMN_NAME FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE as isKCU WHERE "
                          "isKCU.CONSTRAINT_NAME = %1 AND isKCU.TABLE_NAME = %2 ORDER BY isKCU.ORDINAL_POSITION")
        .arg(quoted(table + QStringLiteral("$0")), quoted(table));
}

QString drop(const QString& table)
{
    return QStringLiteral("ALTER TABLE dbo.%1 DROP CONSTRAINT %2")
        .arg(bracketed(table), bracketed(table + QStringLiteral("$0")));
}

QString add(const QString& table, const QString& columns)
{
    return QStringLiteral("ALTER TABLE dbo.%1 ADD CONSTRAINT %2 PRIMARY KEY CLUSTERED  (%3) ON [PRIMARY]")
        .arg(bracketed(table), bracketed(table + QStringLiteral("$0")), columns);
}

// The primary key of a table as the state file holds it.
QJsonObject keyInState(const StandinProcess& standin, const QString& table)
{
    for (const QJsonValue& value :
         standin.state()[QStringLiteral("databases")][0][QStringLiteral("tables")].toArray()) {
        if (value[QStringLiteral("name")].toString() == table)
            return value[QStringLiteral("primary_key")].toObject();
    }
    return {};
}

} // namespace

// The stand-in through the FreeTDS ODBC driver, as the program reaches it: Unicode names, faults,
// time-outs with the connection kept, transactions committed, rolled back and cut off.
class tst_Odbc : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void unicodeNamesRoundTrip();
    void faultErrors_data();
    void faultErrors();
    void delayedStatementTimesOut();
    void othersServedDuringDelay();
    void transactions_data();
    void transactions();
    void cutConnectionRollsBack();
};

void tst_Odbc::unicodeNamesRoundTrip()
{
    StandinProcess standin(QStringLiteral(QUORVANE_SOURCE_DIR "/tests/standin/fixtures/names.json"));
    QVERIFY(standin.started());
    OdbcClient client;
    const Outcome connected
        = client.connect(OdbcClient::connectionString(standin.port(), QStringLiteral("NAMES"), kPassword));
    QVERIFY2(connected.ok, qPrintable(connected.describe()));
    const Outcome list = client.execute(primaryKeyList());
    QVERIFY2(list.ok, qPrintable(list.describe()));
    QStringList names;
    for (const QStringList& row : list.rows)
        names.append(row.value(0));
    QCOMPARE(names,
             (QStringList { "Bracket]Co$Item$0", "Café Müller$Kunde$0", "O'Neil$Item$0", "Ελληνική Εταιρεία$Πελάτης$0",
                            "Компания$Клиент$0", "日本商事$品目$0" }));

    const Outcome columns = client.execute(keyColumns(QStringLiteral("Компания$Клиент")));
    QCOMPARE(columns.rows, (QList<QStringList> { { "Номер" }, { "Строка" } }));
    const QString bracketTable = QStringLiteral("Bracket]Co$Item");
    const Outcome dropped = client.execute(drop(bracketTable));
    QVERIFY2(dropped.ok, qPrintable(dropped.describe()));
    const Outcome added = client.execute(add(bracketTable, bracketed(QStringLiteral("No]_"))));
    QVERIFY2(added.ok, qPrintable(added.describe()));
    const QJsonObject key = keyInState(standin, bracketTable);
    QCOMPARE(key["clustered"].toBool(), true);
    QCOMPARE(key["columns"][0]["name"].toString(), QStringLiteral("No]_"));
    QVERIFY(standin.sqlTexts().contains(add(bracketTable, QStringLiteral("[No]]_]"))));
}

void tst_Odbc::faultErrors_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QList<int>>("numbers");
    QTest::newRow("check") << "check"
                           << "select a.name, a.sid from sysusers a, [dbo].[$ndo$usrproperty] b Where a.sid = b.sid "
                              "order by a.name"
                           << QList<int> { 50001 };
    QTest::newRow("list") << "primary_keys" << primaryKeyList() << QList<int> { 50001 };
    QTest::newRow("key columns") << "key_columns" << keyColumns(kItem) << QList<int> { 50001 };
    QTest::newRow("drop") << "drop" << drop(kItem) << QList<int> { 50001, 3727 };
    QTest::newRow("add") << "add" << add(kItem, "[No_]") << QList<int> { 50001, 1750 };
}

void tst_Odbc::faultErrors()
{
    QFETCH(QString, kind);
    QFETCH(QString, sql);
    QFETCH(QList<int>, numbers);
    StandinProcess standin(demoWithFaults({ QJsonObject {
        { "statement", kind },
        { "table", kItem },
        { "error", QJsonObject { { "number", 50001 }, { "class", 16 }, { "message", "Injected failure." } } } } }));
    QVERIFY(standin.started());
    const QJsonObject before = keyInState(standin, kItem);
    OdbcClient client;
    QVERIFY(client.connect(OdbcClient::connectionString(standin.port(), QStringLiteral("CRONUS"), kPassword)).ok);
    const Outcome outcome = client.execute(sql);
    QVERIFY(!outcome.ok);
    for (const int number : numbers)
        QVERIFY2(outcome.hasNative(number), qPrintable(outcome.describe()));
    QVERIFY(outcome.describe().contains(QStringLiteral("Injected failure.")));
    QCOMPARE(keyInState(standin, kItem), before);
    // The fault is tied to its table: the same kind of statement on another table is answered.
    if (kind == u"drop")
        QVERIFY(client.execute(drop(kCustomer)).ok);
}

void tst_Odbc::delayedStatementTimesOut()
{
    StandinProcess standin(
        demoWithFaults({ QJsonObject { { "statement", "key_columns" }, { "table", kItem }, { "delay_ms", 3000 } } }));
    QVERIFY(standin.started());
    OdbcClient client;
    QVERIFY(client.connect(OdbcClient::connectionString(standin.port(), QStringLiteral("CRONUS"), kPassword)).ok);
    const Outcome timedOut = client.execute(keyColumns(kItem), 1);
    QVERIFY(!timedOut.ok);
    QVERIFY2(timedOut.hasState(QStringLiteral("HYT00")), qPrintable(timedOut.describe()));

    // The attention was acknowledged: the connection answers the next statement at once.
    const Outcome next = client.execute(primaryKeyList(), 10);
    QVERIFY2(next.ok, qPrintable(next.describe()));
    QCOMPARE(next.rows.size(), 40);

    // Without a time limit the delayed statement is answered after its delay.
    const Outcome waited = client.execute(keyColumns(kItem), 0);
    QVERIFY2(waited.ok, qPrintable(waited.describe()));
    QCOMPARE(waited.rows, (QList<QStringList> { { "No_" } }));
}

void tst_Odbc::othersServedDuringDelay()
{
    StandinProcess standin(
        demoWithFaults({ QJsonObject { { "statement", "drop" }, { "table", kItem }, { "delay_ms", 6000 } } }));
    QVERIFY(standin.started());
    const QString connection = OdbcClient::connectionString(standin.port(), QStringLiteral("CRONUS"), kPassword);
    OdbcClient slow;
    OdbcClient quick;
    QVERIFY(slow.connect(connection).ok);
    QVERIFY(quick.connect(connection).ok);
    auto pending = std::async(std::launch::async, [&] { return slow.execute(drop(kItem), 0); });
    // The delayed DROP must not hold up the other connection, whose limit is half the delay.
    while (standin.sqlTexts().size() < 1)
        QTest::qWait(20);
    const Outcome list = quick.execute(primaryKeyList(), 3);
    QVERIFY2(list.ok, qPrintable(list.describe()));
    QVERIFY(list.rows.contains(QStringList { kItem + "$0", kItem, "CRONUS" }));
    const Outcome dropped = pending.get();
    QVERIFY2(dropped.ok, qPrintable(dropped.describe()));
    QVERIFY(keyInState(standin, kItem).isEmpty());
}

void tst_Odbc::transactions_data()
{
    QTest::addColumn<QString>("tdsVersion");
    QTest::addColumn<bool>("commit");
    QTest::newRow("7.4 commit") << "7.4" << true;
    QTest::newRow("7.4 rollback") << "7.4" << false;
    QTest::newRow("7.1 commit") << "7.1" << true;
    QTest::newRow("7.1 rollback") << "7.1" << false;
}

void tst_Odbc::transactions()
{
    QFETCH(QString, tdsVersion);
    QFETCH(bool, commit);
    StandinProcess standin(StandinProcess::demoFixturePath());
    QVERIFY(standin.started());
    OdbcClient client;
    QVERIFY(client.connect(OdbcClient::connectionString(standin.port(), "CRONUS", kPassword, tdsVersion)).ok);
    QVERIFY(client.setAutocommit(false).ok);
    QVERIFY(client.execute(drop(kItem)).ok);
    QVERIFY(client.execute(add(kItem, "[No_]")).ok);
    // Uncommitted: the state file still holds the old, non-clustered key.
    QCOMPARE(keyInState(standin, kItem)["clustered"].toBool(), false);
    const Outcome ended = client.endTransaction(commit);
    QVERIFY2(ended.ok, qPrintable(ended.describe()));
    QCOMPARE(keyInState(standin, kItem)["clustered"].toBool(), commit);

    // A second connection sees the same outcome.
    OdbcClient other;
    QVERIFY(other.connect(OdbcClient::connectionString(standin.port(), "CRONUS", kPassword)).ok);
    QCOMPARE(other.execute(keyColumns(kItem)).rows, (QList<QStringList> { { "No_" } }));
}

void tst_Odbc::cutConnectionRollsBack()
{
    StandinProcess standin(
        demoWithFaults({ QJsonObject { { "statement", "add" }, { "table", kItem }, { "disconnect", true } } }));
    QVERIFY(standin.started());
    const QJsonObject before = keyInState(standin, kItem);
    {
        OdbcClient client;
        QVERIFY(client.connect(OdbcClient::connectionString(standin.port(), "CRONUS", kPassword)).ok);
        QVERIFY(client.setAutocommit(false).ok);
        QVERIFY(client.execute(drop(kItem)).ok);
        const Outcome cut = client.execute(add(kItem, "[No_]"));
        QVERIFY(!cut.ok);
        // FreeTDS reports the cut as "Unexpected EOF from the server" (its message 20017).
        QVERIFY2(cut.hasNative(20017) || cut.hasState("08S01"), qPrintable(cut.describe()));
    }
    QCOMPARE(standin.sqlTexts().last(), add(kItem, "[No_]"));
    OdbcClient other;
    QVERIFY(other.connect(OdbcClient::connectionString(standin.port(), "CRONUS", kPassword)).ok);
    const Outcome list = other.execute(primaryKeyList());
    QVERIFY(list.rows.contains(QStringList { kItem + "$0", kItem, "CRONUS" }));
    QCOMPARE(keyInState(standin, kItem), before);
}

QTEST_GUILESS_MAIN(tst_Odbc)
#include "tst_odbc.moc"
