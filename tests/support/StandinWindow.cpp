#include "support/StandinWindow.h"

#include <QListWidget>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTreeView>

namespace quorvane::test {

namespace {

    // A file the program wrote, in the system's code page; empty when there is no file.
    QString textOf(const QString& path)
    {
        return QStringDecoder(QStringDecoder::System).decode(fileBytes(path));
    }

} // namespace

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

QStringList StandinWindow::errorRecords() const
{
    static const QRegularExpression record(QStringLiteral("Source: (\\S+)\r\nNumber: (-?\\d+)\r\n"));
    QStringList found;
    for (const QRegularExpressionMatch& match : record.globalMatch(errorLog()))
        found.append(match.captured(1) + QLatin1Char(' ') + match.captured(2));
    return found;
}

} // namespace quorvane::test
