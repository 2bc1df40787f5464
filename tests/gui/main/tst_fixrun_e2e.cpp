#include "ExpectedRun.h"
#include "main/LogTextBox.h"
#include "support/StandinWindow.h"

#include <QDir>
#include <QProgressBar>
#include <QSet>
#include <QTest>

using namespace quorvane;
using namespace quorvane::test;

namespace {

const QString kSaveFailure = QStringLiteral("An error occurred while attempting to save a file.");
constexpr int kErrorFail = -2147467259;

QString lostMessage(int notProcessed)
{
    return QStringLiteral("The connection to the server was lost. %1 ticked tables were not processed.")
        .arg(notProcessed);
}

// A fault that applies to the first matching statement only.
QJsonObject once(QJsonObject fault)
{
    fault.insert(QStringLiteral("times"), 1);
    return fault;
}

QList<int> firstRows(int count)
{
    QList<int> rows;
    for (int row = 1; row <= count; ++row)
        rows.append(row);
    return rows;
}

} // namespace

// A run that meets a lost connection, a server restarted between runs, an activity log that
// cannot be written and a rollback that fails: through the FreeTDS ODBC driver against the
// stand-in, read back from its statement log and saved catalogue.
class tst_FixRunEndToEnd : public WindowTest
{
    Q_OBJECT

private Q_SLOTS:
    void lostConnectionEndsRunOnce_data();
    void lostConnectionEndsRunOnce();
    void restartedServerIsReachedAgain();
    void failedReopenIsOneReport();
    void logFailureWaitsForCommit();
    void failedRollback_data();
    void failedRollback();

private:
    QJsonObject state() { return ui().standin().state(); }
    bool clustered(const QString& table)
    {
        return primaryKeyIn(state(), table) == primaryKey(table + "$0", { "No_" }, true);
    }
    QString txtLog() { return ui().control<LogTextBox>("txtLog").text(); }
    // The connections the statements after the list's came on, in order of first use.
    QList<int> connectionsUsed();
};

QList<int> tst_FixRunEndToEnd::connectionsUsed()
{
    QList<int> connections;
    const QJsonArray statements = ui().standin().statements();
    for (qsizetype n = 1; n < statements.size(); ++n) {
        const int connection = statements[n][QLatin1String("connection")].toInt();
        if (!connections.contains(connection))
            connections.append(connection);
    }
    return connections;
}

void tst_FixRunEndToEnd::lostConnectionEndsRunOnce_data()
{
    QTest::addColumn<bool>("clickFirst"); // a click on a row before the second run
    QTest::addColumn<QString>("release"); // empty: the stand-in's default, encrypting the login only
    QTest::addColumn<QString>("addedKeywords");
    QTest::newRow("run again") << false << QString() << QString();
    QTest::newRow("click a row, then run again") << true << QString() << QString();
    // Everything inside TLS: the cut comes in the middle of an encrypted session.
    QTest::newRow("forced encryption") << false << "2022" << QString();
    QTest::newRow("encryption for data, click a row")
        << true << "2016" << QStringLiteral("Use Encryption for Data=True;");
}

void tst_FixRunEndToEnd::lostConnectionEndsRunOnce()
{
    QFETCH(bool, clickFirst);
    QFETCH(QString, release);
    QFETCH(QString, addedKeywords);
    QVERIFY(ui().startWith(databaseFixture(numberedTables(6), { once(fault("add", "CRONUS$T3", "disconnect", true)) }),
                           StandinProcess::releaseOptions(release), addedKeywords));
    const QStringList sixTables { "CRONUS$T1", "CRONUS$T2", "CRONUS$T3", "CRONUS$T4", "CRONUS$T5", "CRONUS$T6" };

    ui().runOn(firstRows(6));

    // The cut table's report and the lost connection's, nothing sent after the cut.
    QCOMPARE(ui().messages.texts, (QStringList { kErrorMessage, lostMessage(3) }));
    QCOMPARE(ui().errorSources(), (QStringList { "CreateClusteredIndex", "PerformFix" }));
    QVERIFY2(!ui().errorLog().contains("Unspecified error"), qPrintable(ui().errorLog()));
    QVERIFY(ui().errorLog().endsWith(
        QStringLiteral("Source: PerformFix\r\nNumber: %1\r\nDescription: %2\r\n").arg(kErrorFail).arg(lostMessage(3))));
    const QStringList firstRun
        = rebuildStatements("CRONUS$T1") + rebuildStatements("CRONUS$T2") + rebuildStatements("CRONUS$T3");
    QCOMPARE(ui().standin().sqlTexts().mid(2), firstRun);
    for (int n = 1; n <= 6; ++n)
        QCOMPARE(primaryKeyIn(state(), numberedTable(n)), primaryKey(numberedTable(n) + "$0", { "No_" }, n <= 2));
    QCOMPARE(ui().tickedRows(), firstRows(6));
    QCOMPARE(txtLog(), tableLines(sixTables.mid(0, 2)) + failedLine("CRONUS$T3") + summaryLine(2, 1, 0, 3));
    QCOMPARE(ui().control<QProgressBar>("sbStatus").value(), 3);

    // The connection is opened again with the same string before anything else is sent.
    QStringList reopened;
    if (clickFirst) {
        ui().clickRow(4);
        QCOMPARE(ui().fieldLines(), QStringList { "No_" });
        reopened.append(keyQuery("CRONUS$T4"));
    }
    ui().clickExecute();

    QCOMPARE(ui().messages.texts.size(), 2);
    for (const QString& table : sixTables)
        reopened += rebuildStatements(table);
    QCOMPARE(ui().standin().sqlTexts().mid(2), firstRun + reopened);
    QCOMPARE(connectionsUsed().size(), 2);
    for (const QString& table : sixTables)
        QVERIFY2(clustered(table), qPrintable(table));
    QCOMPARE(txtLog(), tableLines(sixTables) + summaryLine(6, 0, 0, 0));
}

void tst_FixRunEndToEnd::restartedServerIsReachedAgain()
{
    QVERIFY(ui().startWith(databaseFixture(numberedTables(3))));
    ui().runOn({ 1, 3 });
    QCOMPARE(txtLog(), tableLines({ "CRONUS$T1", "CRONUS$T3" }) + summaryLine(2, 0, 0, 0));

    ui().standin().restart();
    QVERIFY(ui().standin().started());
    ui().tickRow(2);
    ui().clickExecute();

    QCOMPARE(ui().messages.texts, QStringList());
    QCOMPARE(ui().errorLog(), QString());
    const QStringList run
        = rebuildStatements("CRONUS$T1") + rebuildStatements("CRONUS$T2") + rebuildStatements("CRONUS$T3");
    // The first statement after the restart met the dropped link and was sent again, once.
    QCOMPARE(ui().standin().sqlTexts().mid(2), rebuildStatements("CRONUS$T1") + rebuildStatements("CRONUS$T3") + run);
    for (const QString table : { "CRONUS$T1", "CRONUS$T2", "CRONUS$T3" })
        QVERIFY2(clustered(table), qPrintable(table));
    QCOMPARE(txtLog(), tableLines({ "CRONUS$T1", "CRONUS$T2", "CRONUS$T3" }) + summaryLine(3, 0, 0, 0));
}

void tst_FixRunEndToEnd::failedReopenIsOneReport()
{
    QVERIFY(
        ui().startWith(databaseFixture(numberedTables(3), { once(fault("add", "CRONUS$T1", "disconnect", true)) })));
    ui().runOn(firstRows(3));
    QCOMPARE(ui().messages.texts, (QStringList { kErrorMessage, lostMessage(2) }));
    const QString before = txtLog();
    const int statements = ui().standin().sqlTexts().size();

    ui().standin().stop();
    ui().clickExecute();

    QCOMPARE(ui().messages.texts, (QStringList { kErrorMessage, lostMessage(2), kErrorMessage }));
    QCOMPARE(ui().errorSources(), (QStringList { "CreateClusteredIndex", "PerformFix", "PerformFix" }));
    QVERIFY(ui().errorLog().contains(QStringLiteral("Source: PerformFix\r\nNumber: %1\r\n").arg(kErrorFail)));
    QCOMPARE(txtLog(), before);
    QCOMPARE(ui().standin().sqlTexts().size(), statements);
}

void tst_FixRunEndToEnd::logFailureWaitsForCommit()
{
    QVERIFY(ui().startWith(databaseFixture(numberedTables(2))));
    // A folder in the activity log file's place: the file cannot be opened.
    QVERIFY(QDir(ui().folder()).mkdir(QStringLiteral("QuorvaneLog.txt")));
    QList<bool> committedWhileShown;
    ui().messages.whileShown = [&](const QString& text) {
        if (text.startsWith(kSaveFailure))
            committedWhileShown.append(clustered(ui().messages.texts.size() <= 2 ? "CRONUS$T1" : "CRONUS$T2"));
    };

    ui().runOn({ 1, 2 });

    // Two lines per table could not be written; each box came up once its table was committed.
    QCOMPARE(committedWhileShown, (QList<bool> { true, true, true, true }));
    QCOMPARE(ui().messages.texts.size(), 4);
    QCOMPARE(ui().errorLog(), QString());
    QCOMPARE(ui().standin().sqlTexts().mid(2), rebuildStatements("CRONUS$T1") + rebuildStatements("CRONUS$T2"));
    QCOMPARE(txtLog(), tableLines({ "CRONUS$T1", "CRONUS$T2" }) + summaryLine(2, 0, 0, 0));
}

void tst_FixRunEndToEnd::failedRollback_data()
{
    QTest::addColumn<bool>("everyTime"); // the rollback is refused every time, not once
    QTest::newRow("refused once") << false;
    QTest::newRow("refused every time") << true;
}

void tst_FixRunEndToEnd::failedRollback()
{
    QFETCH(bool, everyTime);
    const QJsonObject duplicate { { "number", 1505 }, { "message", "The CREATE UNIQUE INDEX statement terminated." } };
    const QJsonObject refused { { "number", 3998 }, { "message", "Uncommittable transaction is detected." } };
    const QJsonObject rollbackFault = fault("rollback", {}, "error", refused);
    QVERIFY(ui().startWith(databaseFixture(
        numberedTables(2),
        { fault("add", "CRONUS$T1", "error", duplicate), everyTime ? rollbackFault : once(rollbackFault) })));

    ui().runOn({ 1, 2 });

    // The failed table's own cause is the one reported; its key stays as it was.
    QVERIFY(ui().errorLog().startsWith("Source: CreateClusteredIndex\r\nNumber: 1505\r\n"));
    QCOMPARE(primaryKeyIn(state(), "CRONUS$T1"), primaryKey("CRONUS$T1$0", { "No_" }, false));
    if (!everyTime) {
        // The connection left the transaction cleanly: the next table is rebuilt.
        QCOMPARE(ui().messages.texts, QStringList { kErrorMessage });
        QVERIFY(clustered("CRONUS$T2"));
        QCOMPARE(txtLog(), failedLine("CRONUS$T1") + tableLines({ "CRONUS$T2" }) + summaryLine(1, 1, 0, 0));
        return;
    }
    // A transaction that cannot be ended ends with its connection: the lost connection's rule applies.
    QCOMPARE(ui().messages.texts, (QStringList { kErrorMessage, lostMessage(1) }));
    QCOMPARE(primaryKeyIn(state(), "CRONUS$T2"), primaryKey("CRONUS$T2$0", { "No_" }, false));
    QCOMPARE(ui().standin().sqlTexts().mid(2), rebuildStatements("CRONUS$T1"));
    QCOMPARE(txtLog(), failedLine("CRONUS$T1") + summaryLine(0, 1, 0, 1));
}

QTEST_MAIN(tst_FixRunEndToEnd)
#include "tst_fixrun_e2e.moc"
