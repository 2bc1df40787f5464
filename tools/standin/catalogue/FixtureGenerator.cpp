#include "catalogue/FixtureGenerator.h"

#include <QJsonArray>
#include <QStringList>
#include <algorithm>

namespace standin {

namespace {
    struct TableShape
    {
        const char* name;
        QStringList keyColumns;
    };

    // Tables of a Navision 4.0 company with their primary-key fields, as the SQL option names them.
    const QList<TableShape>& navisionTables()
    {
        static const QList<TableShape> tables = {
            { "G_L Account", { "No_" } },
            { "G_L Entry", { "Entry No_" } },
            { "Customer", { "No_" } },
            { "Cust_ Ledger Entry", { "Entry No_" } },
            { "Vendor", { "No_" } },
            { "Vendor Ledger Entry", { "Entry No_" } },
            { "Item", { "No_" } },
            { "Item Ledger Entry", { "Entry No_" } },
            { "Sales Header", { "Document Type", "No_" } },
            { "Sales Line", { "Document Type", "Document No_", "Line No_" } },
            { "Purchase Header", { "Document Type", "No_" } },
            { "Purchase Line", { "Document Type", "Document No_", "Line No_" } },
            { "Sales Invoice Header", { "No_" } },
            { "Sales Invoice Line", { "Document No_", "Line No_" } },
            { "Purch_ Inv_ Header", { "No_" } },
            { "Purch_ Inv_ Line", { "Document No_", "Line No_" } },
            { "Value Entry", { "Entry No_" } },
            { "Item Unit of Measure", { "Item No_", "Code" } },
            { "Unit of Measure", { "Code" } },
            { "Location", { "Code" } },
            { "Bin", { "Location Code", "Code" } },
            { "Warehouse Entry", { "Entry No_" } },
            { "Gen_ Journal Line", { "Journal Template Name", "Journal Batch Name", "Line No_" } },
            { "Item Journal Line", { "Journal Template Name", "Journal Batch Name", "Line No_" } },
            { "Dimension Value", { "Dimension Code", "Code" } },
            { "Ledger Entry Dimension", { "Table ID", "Entry No_", "Dimension Code" } },
            { "Posted Document Dimension", { "Table ID", "Document No_", "Line No_", "Dimension Code" } },
            { "Currency", { "Code" } },
            { "Currency Exchange Rate", { "Currency Code", "Starting Date" } },
            { "Payment Terms", { "Code" } },
            { "Salesperson_Purchaser", { "Code" } },
            { "Contact", { "No_" } },
            { "Bank Account", { "No_" } },
            { "Bank Account Ledger Entry", { "Entry No_" } },
            { "Fixed Asset", { "No_" } },
            { "FA Ledger Entry", { "Entry No_" } },
            { "Job", { "No_" } },
            { "Resource", { "No_" } },
            { "No_ Series Line", { "Series Code", "Line No_" } },
            { "Change Log Entry", { "Entry No_" } },
        };
        return tables;
    }

    QString companyName(int index)
    {
        if (index == 0)
            return QStringLiteral("CRONUS International Ltd_");
        return QStringLiteral("Company %1").arg(index + 1, 3, 10, QLatin1Char('0'));
    }

    // A Navision-like size for a table: ledger entries and document lines grow to millions of rows,
    // master data to thousands, setup tables stay small, and some tables are empty. Spread by a
    // fixed pseudo-random sequence, so the same options give the same fixture.
    struct TableSize
    {
        qint64 rows = 0;
        qint64 reservedKb = 0;
    };

    TableSize tableSize(const QString& tableName, int serial)
    {
        const quint64 spread = (static_cast<quint64>(serial) * 2654435761u) % 1000u; // 0..999
        qint64 largest = 5000;
        int rowBytes = 300;
        if (tableName.contains(QLatin1String("Entry"))) {
            largest = 4000000;
            rowBytes = 450;
        } else if (tableName.contains(QLatin1String("Line"))) {
            largest = 1500000;
            rowBytes = 600;
        } else if (tableName.contains(QLatin1String("Header")) || tableName.startsWith(QLatin1String("Customer"))
                   || tableName.startsWith(QLatin1String("Item")) || tableName.startsWith(QLatin1String("Vendor"))
                   || tableName.startsWith(QLatin1String("Contact"))) {
            largest = 100000;
            rowBytes = 900;
        }
        if (spread < 50)
            return {}; // an empty table
        // Sizes spread over three orders of magnitude below the largest.
        const double share = static_cast<double>(spread) / 1000.0;
        const qint64 rows
            = std::max<qint64>(1, static_cast<qint64>(static_cast<double>(largest) * share * share * share));
        // Data and indexes, in whole 8 KB pages, about a third more than the rows themselves.
        const qint64 pages = std::max<qint64>(2, (rows * rowBytes * 4 / 3 + 8191) / 8192);
        return { rows, pages * 8 };
    }

    QJsonObject column(const QString& name, bool nullable)
    {
        return { { QStringLiteral("name"), name }, { QStringLiteral("nullable"), nullable } };
    }
} // namespace

QJsonObject generateFixture(const GeneratorOptions& options)
{
    const QList<TableShape>& shapes = navisionTables();
    const QString sid = QStringLiteral("0x5A1D7E0F8C2B4A6E9D3C1B0A2F4E6D8C");
    QJsonArray tables;
    int serial = 0;
    for (int c = 0; c < options.companies; ++c) {
        const QString company = companyName(c);
        for (int t = 0; t < options.tablesPerCompany; ++t, ++serial) {
            const TableShape& shape = shapes[t % shapes.size()];
            const int round = t / static_cast<int>(shapes.size());
            const QString tableName
                = QString::fromLatin1(shape.name) + (round == 0 ? QString() : QStringLiteral(" %1").arg(round + 1));
            const QString fullName = company + u'$' + tableName;
            QJsonArray columns { column(QStringLiteral("timestamp"), false) };
            QJsonArray keyColumns;
            for (const QString& key : shape.keyColumns) {
                columns.append(column(key, false));
                keyColumns.append(
                    QJsonObject { { QStringLiteral("name"), key }, { QStringLiteral("descending"), false } });
            }
            columns.append(column(QStringLiteral("Description"), false));
            columns.append(column(QStringLiteral("Last Date Modified"), false));
            const bool clustered = (serial * 37 % 100) < options.clusteredPercent;
            const TableSize size = tableSize(tableName, serial);
            tables.append(QJsonObject { { QStringLiteral("schema"), QStringLiteral("dbo") },
                                        { QStringLiteral("name"), fullName },
                                        { QStringLiteral("rows"), size.rows },
                                        { QStringLiteral("reserved_kb"), size.reservedKb },
                                        { QStringLiteral("columns"), columns },
                                        { QStringLiteral("primary_key"),
                                          QJsonObject { { QStringLiteral("name"), fullName + QStringLiteral("$0") },
                                                        { QStringLiteral("clustered"), clustered },
                                                        { QStringLiteral("columns"), keyColumns } } } });
        }
    }
    const QJsonObject database {
        { QStringLiteral("name"), options.database },
        { QStringLiteral("users"),
          QJsonArray { QJsonObject { { QStringLiteral("name"), options.login }, { QStringLiteral("sid"), sid } } } },
        { QStringLiteral("navision_user_table"), QJsonObject { { QStringLiteral("sids"), QJsonArray { sid } } } },
        { QStringLiteral("tables"), tables }
    };
    return { { QStringLiteral("logins"),
               QJsonArray { QJsonObject { { QStringLiteral("name"), options.login },
                                          { QStringLiteral("password"), options.password } } } },
             { QStringLiteral("databases"), QJsonArray { database } },
             { QStringLiteral("faults"), QJsonArray {} } };
}

} // namespace standin
