#include "selection/ListFormat.h"

#include "selection/KeySelection.h"
#include "support/VisibleText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <array>

namespace quorvane::cli {

namespace {

    const QString kEllipsis = QStringLiteral("\u2026");
    const QString kUnknown = QStringLiteral("-");

    enum Column { Schema, Table, Constraint, Clustered, Rows, ReservedKb, Refusal, ColumnCount };

    const std::array<QString, ColumnCount> kHeaders {
        QStringLiteral("Schema"), QStringLiteral("Table"), QStringLiteral("Primary key"), QStringLiteral("Clust."),
        QStringLiteral("Rows"),   QStringLiteral("KB"),    QStringLiteral("Refusal"),
    };
    constexpr std::array<bool, ColumnCount> kNumeric { false, false, false, false, true, true, false };
    // Names give way when the line is too long; the short fixed columns never do.
    constexpr std::array<bool, ColumnCount> kElidable { true, true, true, false, false, false, true };
    constexpr int kGap = 2;
    constexpr int kNarrowest = 6;

    using Cells = std::array<QString, ColumnCount>;

    // The expected refusals in a word or two each, for a column of an 80-column table; the
    // machine-readable formats carry the full phrases.
    QString refusalLabel(KeyRefusals refusals)
    {
        static const std::array<std::pair<KeyRefusal, const char*>, 4> kLabels { {
            { KeyRefusal::OutsideDbo, "not in dbo" },
            { KeyRefusal::OnPartitionScheme, "partitioned" },
            { KeyRefusal::ReferencedByForeignKey, "foreign key" },
            { KeyRefusal::OtherClusteredIndex, "other clustered" },
        } };
        QStringList labels;
        for (const auto& [refusal, label] : kLabels)
            if (refusals.testFlag(refusal))
                labels.append(QLatin1String(label));
        return labels.join(QStringLiteral(", "));
    }

    Cells cellsOf(const KeyRow& row)
    {
        // Names are shown as they are, but never obeyed by the terminal: see visibleText.
        const QString table = visibleText(row.table);
        const QString constraint = visibleText(row.constraint);
        if (!row.details)
            return { kUnknown, table, constraint, kUnknown, kUnknown, kUnknown, kUnknown };
        const KeyDetails& details = *row.details;
        return { visibleText(knownSchema(row).value_or(kUnknown)),
                 table,
                 constraint,
                 details.clustered ? QStringLiteral("yes") : QStringLiteral("no"),
                 QString::number(details.rows),
                 QString::number(details.reservedKb),
                 refusalLabel(details.refusals) };
    }

    // Natural widths, then the widest name column loses a character at a time until the line fits.
    std::array<int, ColumnCount> columnWidths(const QList<Cells>& lines)
    {
        std::array<int, ColumnCount> widths {};
        for (const Cells& cells : lines)
            for (int column = 0; column < ColumnCount; ++column)
                widths[column] = std::max(widths[column], static_cast<int>(cells[column].size()));
        const auto total = [&widths] {
            int sum = kGap * (ColumnCount - 1);
            for (const int width : widths)
                sum += width;
            return sum;
        };
        while (total() > kTextTableWidth) {
            int widest = -1;
            for (int column = 0; column < ColumnCount; ++column)
                if (kElidable[column] && widths[column] > kNarrowest && (widest < 0 || widths[column] > widths[widest]))
                    widest = column;
            if (widest < 0)
                break;
            --widths[widest];
        }
        return widths;
    }

    QString tableLine(const Cells& cells, const std::array<int, ColumnCount>& widths)
    {
        QString line;
        for (int column = 0; column < ColumnCount; ++column) {
            const QString cell = elidedLeft(cells[column], widths[column]);
            if (column > 0)
                line += QString(kGap, QLatin1Char(' '));
            line += kNumeric[column] ? cell.rightJustified(widths[column]) : cell.leftJustified(widths[column]);
        }
        // The last column is padded like the others; the line ends with its text.
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        return line + QLatin1Char('\n');
    }

    QString csvField(const QString& text)
    {
        const QString field = visibleText(text);
        static const QString special = QStringLiteral(",\"\r\n");
        const bool needsQuotes
            = std::any_of(field.cbegin(), field.cend(), [](QChar character) { return special.contains(character); });
        if (!needsQuotes)
            return field;
        QString inner = field;
        inner.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + inner + QLatin1Char('"');
    }

} // namespace

QString elidedLeft(const QString& text, int width)
{
    if (text.size() <= width)
        return text;
    if (width <= 0)
        return {};
    return kEllipsis + text.right(width - 1);
}

QString listAsText(const KeyRows& rows)
{
    QList<Cells> lines { kHeaders };
    for (const KeyRow& row : rows)
        lines.append(cellsOf(row));
    const std::array<int, ColumnCount> widths = columnWidths(lines);
    QString text;
    for (const Cells& cells : lines)
        text += tableLine(cells, widths);
    return text;
}

QString listAsCsv(const KeyRows& rows)
{
    QString text = QStringLiteral("constraint,table,schema,clustered,rows,reserved_kb,refusal,filegroup\r\n");
    for (const KeyRow& row : rows) {
        QStringList fields { csvField(row.constraint), csvField(row.table) };
        if (row.details) {
            const KeyDetails& details = *row.details;
            fields << csvField(knownSchema(row).value_or(QString()))
                   << (details.clustered ? QStringLiteral("true") : QStringLiteral("false"))
                   << QString::number(details.rows) << QString::number(details.reservedKb)
                   << csvField(refusalText(details.refusals)) << csvField(details.filegroup);
        } else {
            fields << QString() << QString() << QString() << QString() << QString() << QString();
        }
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return text;
}

QString listAsJson(const KeyRows& rows)
{
    QJsonArray array;
    for (const KeyRow& row : rows) {
        QJsonObject object { { QStringLiteral("constraint"), row.constraint }, { QStringLiteral("table"), row.table } };
        if (row.details) {
            const KeyDetails& details = *row.details;
            const std::optional<QString> schema = knownSchema(row);
            object.insert(QStringLiteral("schema"), schema ? QJsonValue(*schema) : QJsonValue(QJsonValue::Null));
            object.insert(QStringLiteral("clustered"), details.clustered);
            object.insert(QStringLiteral("rows"), QJsonValue(details.rows));
            object.insert(QStringLiteral("reserved_kb"), QJsonValue(details.reservedKb));
            const QString refusal = refusalText(details.refusals);
            object.insert(QStringLiteral("refusal"),
                          refusal.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(refusal));
            object.insert(QStringLiteral("filegroup"),
                          details.filegroup.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(details.filegroup));
        } else {
            for (const char* key : { "schema", "clustered", "rows", "reserved_kb", "refusal", "filegroup" })
                object.insert(QLatin1String(key), QJsonValue(QJsonValue::Null));
        }
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

} // namespace quorvane::cli
