#include "support/StandinWindow.h"

#include "db/OdbcConnection.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QStringDecoder>
#include <QTest>
#include <QTreeView>

namespace quorvane::test {

namespace {

    // A file the program wrote, in the system's code page, split at its CR LF line ends.
    std::optional<QStringList> linesOf(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        QStringDecoder fromCodePage(QStringDecoder::System);
        QString text = fromCodePage(file.readAll());
        if (text.endsWith(QLatin1String("\r\n")))
            text.chop(2);
        if (text.isEmpty())
            return QStringList {};
        return text.split(QLatin1String("\r\n"));
    }

} // namespace

QJsonObject keyedTable(const QString& name, const QStringList& columns, const QStringList& keyColumns,
                       const QString& schema)
{
    QJsonArray tableColumns;
    for (const QString& column : columns)
        tableColumns.append(QJsonObject { { "name", column }, { "nullable", false } });
    QJsonArray key;
    for (const QString& column : keyColumns)
        key.append(QJsonObject { { "name", column } });
    return QJsonObject { { "schema", schema },
                         { "name", name },
                         { "columns", tableColumns },
                         { "primary_key",
                           QJsonObject { { "name", name + QStringLiteral("$0") }, { "columns", key } } } };
}

QJsonObject databaseFixture(const QJsonArray& tables, const QJsonArray& faults)
{
    const QJsonArray logins { QJsonObject {
        { "name", kLoginName }, { "password", kLoginPassword }, { "default_database", kDatabaseName } } };
    const QJsonArray databases { QJsonObject { { "name", kDatabaseName }, { "tables", tables } } };
    return QJsonObject { { "logins", logins }, { "databases", databases }, { "faults", faults } };
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
    QJsonArray keyColumns;
    for (const QString& column : columns)
        keyColumns.append(QJsonObject { { "name", column }, { "descending", false } });
    return QJsonObject { { "name", name }, { "clustered", clustered }, { "columns", keyColumns } };
}

std::optional<QJsonObject> primaryKeyIn(const QJsonObject& state, const QString& table, const QString& schema)
{
    for (const QJsonValue& database : state.value(QLatin1String("databases")).toArray()) {
        for (const QJsonValue& entry : database.toObject().value(QLatin1String("tables")).toArray()) {
            const QJsonObject object = entry.toObject();
            if (object.value(QLatin1String("name")).toString() != table
                || object.value(QLatin1String("schema")).toString() != schema)
                continue;
            if (!object.value(QLatin1String("primary_key")).isObject())
                return std::nullopt;
            return object.value(QLatin1String("primary_key")).toObject();
        }
    }
    return std::nullopt;
}

StandinWindow::StandinWindow()
{
    m_platform = std::make_unique<Platform>(Platform { messages, m_settings, clock, db::odbcConnectionFactory(),
                                                       QDir::toNativeSeparators(m_folder.path()) });
}

StandinWindow::~StandinWindow() = default;

bool StandinWindow::start(const QString& connectString)
{
    m_window = std::make_unique<frmMain>(
        *m_platform, [connectString](frmMain& owner, bool) { owner.gstrConnectPass = connectString; });
    const bool loaded = m_window->Form_Load();
    if (loaded) {
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get()))
            return false;
    }
    return loaded;
}

QStringList StandinWindow::rows() const
{
    const QAbstractItemModel& model = *m_window->findChild<QTreeView*>(QStringLiteral("lvTables"))->model();
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells.append(model.index(row, column).data().toString());
        texts.append(cells.join(QLatin1String(" | ")));
    }
    return texts;
}

QList<int> StandinWindow::tickedRows() const
{
    const QAbstractItemModel& model = *m_window->findChild<QTreeView*>(QStringLiteral("lvTables"))->model();
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
    const QModelIndex cell = lv.model()->index(item - 1, 1);
    QTest::mouseClick(lv.viewport(), Qt::LeftButton, {}, lv.visualRect(cell).center());
}

void StandinWindow::tickRow(int item)
{
    auto& lv = control<QTreeView>("lvTables");
    lv.setCurrentIndex(lv.model()->index(item - 1, 0));
    QTest::keyClick(&lv, Qt::Key_Space);
}

void StandinWindow::clickExecute()
{
    QTest::mouseClick(&control<QPushButton>("cmdExecute"), Qt::LeftButton);
}

QString StandinWindow::activityLogPath() const
{
    return QDir(m_folder.path()).filePath(QStringLiteral("QuorvaneLog.txt"));
}

QList<ErrorRecord> StandinWindow::errorRecords() const
{
    // Each record: "Source: ", "Number: ", "Description: " lines; a description may run over
    // several lines of its own.
    QList<ErrorRecord> records;
    const QStringList lines
        = linesOf(QDir(m_folder.path()).filePath(QStringLiteral("ErrorLog.txt"))).value_or(QStringList {});
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("Source: "))) {
            records.append({ line.mid(8), {}, {} });
        } else if (records.isEmpty()) {
            records.append({ {}, {}, line });
        } else if (line.startsWith(QLatin1String("Number: ")) && records.last().number.isEmpty()) {
            records.last().number = line.mid(8);
        } else if (line.startsWith(QLatin1String("Description: ")) && records.last().description.isEmpty()) {
            records.last().description = line.mid(13);
        } else {
            records.last().description += QLatin1Char('\n') + line;
        }
    }
    return records;
}

QStringList StandinWindow::errorSources() const
{
    QStringList sources;
    for (const ErrorRecord& record : errorRecords())
        sources.append(record.source);
    return sources;
}

QStringList StandinWindow::activityLogLines() const
{
    return linesOf(activityLogPath()).value_or(QStringList {});
}

} // namespace quorvane::test
