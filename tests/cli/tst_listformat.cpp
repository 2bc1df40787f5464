#include "selection/ListFormat.h"

#include <QJsonDocument>
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

// The list's three formats; the end-to-end tests show them for a whole catalogue.
class tst_ListFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formats_data();
    void formats();
    void elidedLeft_data();
    void elidedLeft();
};

void tst_ListFormat::formats_data()
{
    QTest::addColumn<KeyRows>("rows");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected"); // JSON without its indentation

    QTest::newRow("text: long names lose their start")
        << KeyRows { keyRow(kLongTable, details(false, 123456789, 987654321, KeyRefusal::NameInSeveralSchemas)),
                     keyRow("CRONUS International Ltd_$Customer", details(true, 5, 16)) }
        << "text"
        << "Schema  Table         Primary key    Clust.       Rows         KB  Refusal\n"
           "dbo     …ive Comment  …ve Comment$0  no      123456789  987654321  …eral schemas\n"
           "dbo     …d_$Customer  …_$Customer$0  yes             5         16\n";
    QTest::newRow("text: without details")
        << KeyRows { keyRow(kLongTable), keyRow(kLongTable + kLongTable) } << "text"
        << "Schema  Table                  Primary key             Clust.  Rows  KB  Refusal\n"
           "-       …Line Archive Comment  …ine Archive Comment$0  -          -   -  -\n"
           "-       …Line Archive Comment  …ine Archive Comment$0  -          -   -  -\n";
    QTest::newRow("text: no keys") << KeyRows {} << "text"
                                   << "Schema  Table  Primary key  Clust.  Rows  KB  Refusal\n";
    QTest::newRow("csv") << KeyRows { keyRow("Plain", details(true, 3, 16)),
                                      keyRow("Comma, \"quoted\"", details(false, 0, 0, KeyRefusal::OutsideDbo)),
                                      keyRow("No details") }
                         << "csv"
                         << "constraint,table,schema,clustered,rows,reserved_kb,refusal\r\n"
                            "Plain$0,Plain,dbo,true,3,16,\r\n"
                            "\"Comma, \"\"quoted\"\"$0\",\"Comma, \"\"quoted\"\"\",,false,0,0,"
                            "the table is not in schema dbo\r\n"
                            "No details$0,No details,,,,,\r\n";
    QTest::newRow("json")
        << KeyRows { keyRow("A", details(false, 5000000000LL, 42, KeyRefusal::OtherClusteredIndex)),
                     keyRow("B", details(true, 1, 8)), keyRow("C") }
        << "json"
        << "[{\"clustered\":false,\"constraint\":\"A$0\",\"refusal\":\"the table has another clustered index, so "
           "the ADD will fail\",\"reserved_kb\":42,\"rows\":5000000000,\"schema\":\"dbo\",\"table\":\"A\"},"
           "{\"clustered\":true,\"constraint\":\"B$0\",\"refusal\":null,\"reserved_kb\":8,\"rows\":1,\"schema\":"
           "\"dbo\",\"table\":\"B\"},{\"clustered\":null,\"constraint\":\"C$0\",\"refusal\":null,\"reserved_kb\":"
           "null,\"rows\":null,\"schema\":null,\"table\":\"C\"}]";
}

void tst_ListFormat::formats()
{
    QFETCH(KeyRows, rows);
    QFETCH(QString, format);
    QFETCH(QString, expected);
    const QString output = format == "text" ? listAsText(rows)
        : format == "csv"
        ? listAsCsv(rows)
        : QString::fromUtf8(QJsonDocument::fromJson(listAsJson(rows).toUtf8()).toJson(QJsonDocument::Compact));
    QCOMPARE(output, expected);
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
