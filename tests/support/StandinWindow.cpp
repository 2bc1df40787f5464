#include "support/StandinWindow.h"

#include <QFile>
#include <QListWidget>
#include <QStringDecoder>
#include <QTreeView>

namespace quorvane::test {

namespace {

    // A file the program wrote, in the system's code page; empty when there is no file.
    QString textOf(const QString& path)
    {
        QFile file(path);
        QStringDecoder fromCodePage(QStringDecoder::System);
        return file.open(QIODevice::ReadOnly) ? QString(fromCodePage(file.readAll())) : QString();
    }

    QJsonArray columnObjects(const QStringList& columns, const char* key, const QJsonValue& value)
    {
        QJsonArray objects;
        for (const QString& column : columns)
            objects.append(QJsonObject { { "name", column }, { QLatin1String(key), value } });
        return objects;
    }

} // namespace

QJsonObject keyedTable(const QString& name, const QStringList& columns, const QStringList& keyColumns,
                       const QString& schema)
{
    return QJsonObject { { "schema", schema },
                         { "name", name },
                         { "columns", columnObjects(columns, "nullable", false) },
                         { "primary_key", primaryKey(name + QStringLiteral("$0"), keyColumns, false) } };
}

QJsonObject databaseFixture(const QJsonArray& tables, const QJsonArray& faults, const QString& password)
{
    const QJsonArray logins { QJsonObject {
        { "name", kLoginName }, { "password", password }, { "default_database", kDatabaseName } } };
    const QJsonArray databases { QJsonObject {
        { "name", kDatabaseName },
        { "users", QJsonArray { QJsonObject { { "name", kLoginName }, { "sid", "0x0A0B" } } } },
        { "navision_user_table", QJsonObject { { "sids", QJsonArray { "0x0A0B" } } } },
        { "tables", tables } } };
    return QJsonObject { { "logins", logins }, { "databases", databases }, { "faults", faults } };
}

QJsonArray numberedTables(int count, const QString& prefix)
{
    QJsonArray tables;
    for (int n = 1; n <= count; ++n)
        tables.append(keyedTable(prefix + QString::number(n)));
    return tables;
}

QJsonArray everyMark()
{
    const auto sized = [](QJsonObject table, qint64 rows, qint64 reservedKb) {
        table.insert(QStringLiteral("rows"), rows);
        table.insert(QStringLiteral("reserved_kb"), reservedKb);
        return table;
    };
    QJsonObject clustered = sized(keyedTable("A$Clustered"), 1234567, 850 * 1024);
    clustered.insert(QStringLiteral("primary_key"), primaryKey("A$Clustered$0", { "No_" }, true));
    QJsonObject header = keyedTable("C$Sales Header", { "No_", "Customer No_" });
    header.insert(QStringLiteral("foreign_keys"),
                  QJsonArray { QJsonObject { { "name", "FK_Customer" },
                                             { "columns", QJsonArray { "Customer No_" } },
                                             { "references", QJsonObject { { "table", "B$Customer" } } } } });
    QJsonObject line = keyedTable("D$Sales Line", { "No_", "Line No_" });
    line.insert(QStringLiteral("indexes"),
                QJsonArray { QJsonObject {
                    { "name", "$1" }, { "clustered", true }, { "columns", QJsonArray { "Line No_" } } } });
    return { clustered,
             sized(keyedTable("B$Customer"), 5213, 6128),
             header,
             line,
             keyedTable("E$Dup"),
             keyedTable("E$Dup", { "No_" }, { "No_" }, "sales"),
             keyedTable("F$Archive", { "No_" }, { "No_" }, "archive"),
             sized(keyedTable("G$Item"), 1, 16) };
}

QJsonObject fault(const QString& statement, const QString& table, const QString& key, const QJsonValue& value)
{
    QJsonObject object { { "database", kDatabaseName }, { "statement", statement }, { key, value } };
    if (!table.isEmpty())
        object.insert(QStringLiteral("table"), table);
    return object;
}

QJsonObject primaryKey(const QString& name, const QStringList& columns, bool clustered)
{
    return QJsonObject { { "name", name },
                         { "clustered", clustered },
                         { "columns", columnObjects(columns, "descending", false) } };
}

std::optional<QJsonObject> primaryKeyIn(const QJsonObject& state, const QString& table)
{
    for (const QJsonValue& database : state[QLatin1String("databases")].toArray())
        for (const QJsonValue& entry : database[QLatin1String("tables")].toArray())
            if (entry[QLatin1String("name")].toString() == table && entry[QLatin1String("schema")].toString() == "dbo")
                return entry[QLatin1String("primary_key")].isObject()
                    ? std::optional(entry[QLatin1String("primary_key")].toObject())
                    : std::nullopt;
    return std::nullopt;
}

StandinWindow::StandinWindow(db::ConnectionFactory factory)
    : m_platform(std::make_unique<Platform>(
        Platform { messages, m_settings, clock, std::move(factory), QDir::toNativeSeparators(m_folder.path()) }))
{ }

bool StandinWindow::start(const QString& connectString)
{
    m_window = std::make_unique<frmMain>(*m_platform, [connectString](frmMain&, bool) { return connectString; });
    if (!m_window->Form_Load())
        return false;
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        return false;
    // The key details are read once the window shows.
    QCoreApplication::processEvents();
    return true;
}

bool StandinWindow::startWith(const QJsonObject& fixture, const QStringList& options, const QString& addedKeywords)
{
    m_standin = std::make_unique<StandinProcess>(fixture, options);
    return m_standin->started()
        && start(m_standin->connectionString(kDatabaseName, kLoginName, kLoginPassword) + addedKeywords);
}

QStringList StandinWindow::rows()
{
    const QAbstractItemModel& model = *control<QTreeView>("lvTables").model();
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells.append(model.index(row, column).data().toString());
        texts.append(cells.join(QLatin1String(" | ")));
    }
    return texts;
}

QList<int> StandinWindow::tickedRows()
{
    const QAbstractItemModel& model = *control<QTreeView>("lvTables").model();
    QList<int> ticked;
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
            ticked.append(row + 1);
    return ticked;
}

QStringList StandinWindow::fieldLines()
{
    const auto& lst = control<QListWidget>("lstFields");
    QStringList lines;
    for (int line = 0; line < lst.count(); ++line)
        lines.append(lst.item(line)->text());
    return lines;
}

void StandinWindow::clickRow(int item)
{
    auto& lv = control<QTreeView>("lvTables");
    QTest::mouseClick(lv.viewport(), Qt::LeftButton, {}, lv.visualRect(lv.model()->index(item - 1, 1)).center());
}

void StandinWindow::tickRow(int item)
{
    auto& lv = control<QTreeView>("lvTables");
    lv.setCurrentIndex(lv.model()->index(item - 1, 0));
    QTest::keyClick(&lv, Qt::Key_Space);
}

void StandinWindow::runOn(const QList<int>& items)
{
    for (const int item : items)
        tickRow(item);
    clickExecute();
}

QStringList StandinWindow::activityLogLines() const
{
    QStringList lines = textOf(activityLogPath()).split(QLatin1String("\r\n"));
    if (lines.last().isEmpty()) // after the last line end
        lines.removeLast();
    return lines;
}

QString StandinWindow::errorLog() const
{
    return textOf(QDir(m_folder.path()).filePath(QStringLiteral("ErrorLog.txt")));
}

QStringList StandinWindow::errorSources() const
{
    QStringList sources;
    for (const QString& line : errorLog().split(QLatin1String("\r\n")))
        if (line.startsWith(QLatin1String("Source: ")))
            sources.append(line.mid(8));
    return sources;
}

} // namespace quorvane::test
