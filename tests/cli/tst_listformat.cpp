#include "selection/ListFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace quorvane;
using namespace quorvane::cli;

namespace {

KeyRow keyRow(const QString& table, std::optional<KeyDetails> details = std::nullopt)
{
    return KeyRow { table + QStringLiteral("$0"), table, QStringLiteral("CRONUS"), std::move(details) };
}

KeyDetails details(bool clustered, qint64 rows, qint64 reservedKb, KeyRefusals refusals = {})
{
    return KeyDetails { clustered, rows, reservedKb, refusals };
}

const QString kLongTable = QStringLiteral("CRONUS International Ltd_$Sales Invoice Line Archive Comment");

} // namespace

class tst_ListFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textFitsEightyColumns_data();
    void textFitsEightyColumns();
    void textShowsTheEndOfLongNames();
    void textAlignsColumns();
    void csvFollowsRfc4180();
    void jsonHasEveryKey();
    void elidedLeft_data();
    void elidedLeft();
};

void tst_ListFormat::textFitsEightyColumns_data()
{
    QTest::addColumn<KeyRows>("rows");

    QTest::newRow("short names") << KeyRows { keyRow("T1", details(false, 1, 8)) };
    QTest::newRow("long names and a refusal")
        << KeyRows { keyRow(kLongTable, details(false, 123456789, 987654321, KeyRefusal::ReferencedByForeignKey)),
                     keyRow("CRONUS International Ltd_$Customer", details(true, 5, 16)) };
    QTest::newRow("without details") << KeyRows { keyRow(kLongTable), keyRow(kLongTable + kLongTable) };
    QTest::newRow("no keys") << KeyRows {};
}

void tst_ListFormat::textFitsEightyColumns()
{
    QFETCH(KeyRows, rows);
    const QStringList lines = listAsText(rows).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), rows.size() + 1);
    for (const QString& line : lines)
        QVERIFY2(line.size() <= kTextTableWidth, qPrintable(line));
}

void tst_ListFormat::textShowsTheEndOfLongNames()
{
    const QString text = listAsText({ keyRow(kLongTable, details(false, 1, 8, KeyRefusal::NameInSeveralSchemas)) });
    const QString row = text.split(QLatin1Char('\n')).at(1);
    // The part that tells the tables apart is the end of the name.
    QVERIFY2(row.contains(QStringLiteral("\u2026") + QStringLiteral(" Archive Comment ")), qPrintable(row));
    QVERIFY2(row.contains(QStringLiteral("Comment$0 ")), qPrintable(row));
    QVERIFY(!row.contains(QLatin1String("CRONUS International")));
}

void tst_ListFormat::textAlignsColumns()
{
    const QString text = listAsText({ keyRow("A", details(false, 7, 1024, KeyRefusal::ReferencedByForeignKey)),
                                      keyRow("B", details(true, 1234567, 8)) });
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    // Numbers are right-aligned: both rows' counts end in the same column.
    const qsizetype seven = lines[1].indexOf(QLatin1String(" 7 ")) + 1;
    const qsizetype million = lines[2].indexOf(QLatin1String("1234567")) + 6;
    QCOMPARE(seven, million);
    QVERIFY(lines[1].contains(QLatin1String(" no ")));
    QVERIFY(lines[2].contains(QLatin1String(" yes ")));
    // The refusal in a word or two, the last column.
    QVERIFY2(lines[1].endsWith(QLatin1String("  foreign key")), qPrintable(lines[1]));
    QVERIFY2(lines[2].endsWith(QLatin1String("8")), qPrintable(lines[2]));
    QVERIFY(lines[0].startsWith(QLatin1String("Schema")));
}

void tst_ListFormat::csvFollowsRfc4180()
{
    const KeyRows rows { keyRow("Plain", details(true, 3, 16)),
                         keyRow("Comma, \"quoted\"", details(false, 0, 0, KeyRefusal::OutsideDbo)),
                         keyRow("No details") };
    QCOMPARE(listAsCsv(rows),
             QStringLiteral("constraint,table,schema,clustered,rows,reserved_kb,refusal\r\n"
                            "Plain$0,Plain,dbo,true,3,16,\r\n"
                            "\"Comma, \"\"quoted\"\"$0\",\"Comma, \"\"quoted\"\"\",,false,0,0,"
                            "the table is not in schema dbo\r\n"
                            "No details$0,No details,,,,,\r\n"));
}

void tst_ListFormat::jsonHasEveryKey()
{
    const KeyRows rows { keyRow("A", details(false, 5000000000LL, 42, KeyRefusal::OtherClusteredIndex)),
                         keyRow("B", details(true, 1, 8)), keyRow("C") };
    const QJsonArray array = QJsonDocument::fromJson(listAsJson(rows).toUtf8()).array();
    QCOMPARE(array.size(), 3);
    const QJsonObject first = array[0].toObject();
    QCOMPARE(first.keys(),
             (QStringList { "clustered", "constraint", "refusal", "reserved_kb", "rows", "schema", "table" }));
    QCOMPARE(first["constraint"].toString(), QStringLiteral("A$0"));
    QCOMPARE(first["table"].toString(), QStringLiteral("A"));
    QCOMPARE(first["schema"].toString(), QStringLiteral("dbo"));
    QCOMPARE(first["clustered"], QJsonValue(false));
    QCOMPARE(first["rows"].toInteger(), 5000000000LL);
    QCOMPARE(first["reserved_kb"].toInteger(), 42);
    QCOMPARE(first["refusal"].toString(),
             QStringLiteral("the table has another clustered index, so the ADD will fail"));
    QCOMPARE(array[1].toObject()["clustered"], QJsonValue(true));
    QVERIFY(array[1].toObject()["refusal"].isNull());
    QVERIFY(array[2].toObject()["clustered"].isNull());
}

void tst_ListFormat::elidedLeft_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("elided");

    QTest::newRow("fits") << "Customer" << 8 << "Customer";
    QTest::newRow("one too long") << "Customer" << 7 << QStringLiteral("\u2026stomer");
    QTest::newRow("one column") << "Customer" << 1 << QStringLiteral("\u2026");
    QTest::newRow("no room") << "Customer" << 0 << "";
}

void tst_ListFormat::elidedLeft()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, elided);
    QCOMPARE(quorvane::cli::elidedLeft(text, width), elided);
}

QTEST_GUILESS_MAIN(tst_ListFormat)
#include "tst_listformat.moc"
