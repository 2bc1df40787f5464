#pragma once

#include "db/ReopeningConnection.h"
#include "support/ErrorReport.h"
#include "widgets/Platform.h"
#include "keys/TableListModel.h"
#include "rebuild/FixRun.h"

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QListWidget;
class QPoint;
class QTreeView;

namespace Ui {
class frmMain;
}

namespace quorvane {

class LogTextBox;
class frmReadingKeys;

// The program's start-up window and its only working window: the list of primary-key
// constraints with a tick per row, the key columns of the clicked row, the count of ticked rows,
// and the run that re-creates the ticked keys as clustered keys with its on-screen log and
// progress bar.
class frmMain final : public QWidget, private FixRunListener
{
    Q_OBJECT

public:
    // Opens the login window modally, owned by the main window, and returns when it has closed;
    // on a successful connect the login window has stored the connection string in gstrConnectPass.
    using LoginOpener = std::function<void(frmMain& owner, bool bolCountDown)>;

    frmMain(const Platform& platform, LoginOpener openLogin, QWidget* parent = nullptr);
    ~frmMain() override;

    // The connection string with the password filled in; empty while no login succeeded.
    QString gstrConnectPass;
    // The one database connection, open from start-up until the window goes; opened again with
    // the same connection string when its link to the server was lost.
    std::unique_ptr<db::ReopeningConnection> cnnDatabase;
    // The activity log file's full path.
    QString strLogFile;

    const ErrorReport& errorReport() const { return m_report; }
    void RaiseError(const QString& strSource, std::int32_t lngNumber, const QString& strDescription) const;

    // The start-up sequence, run before the window is first shown. Returns false when the program
    // is to end silently (login abandoned, or no connection could be opened).
    bool Form_Load();
    // Creates cnnDatabase and opens it; false on any failure, which it does not report.
    bool OpenConnection(const QString& strConnect);

    // Shows, until this window shows, the small window that tells the user which server and
    // database the primary keys are read from and how many have been read.
    void ShowReadingKeys();

    void SizeLVColumn(QTreeView& lv);
    void LoadTablesIntoLV(QTreeView& lv);
    // Reads the catalogue's details of every key (clustered, size, predicted refusal) and marks the
    // list's rows with them. A failure leaves the rows unmarked and is written to the error log
    // only. Called once the list is filled and the window shows.
    void LoadKeyDetails();
    bool hasKeyDetails() const { return m_hasKeyDetails; }

    // Routines of the list and the selection; items are addressed from 1.
    void lvTables_ItemClick(int item);
    void LoadKeysIntoLST(QListWidget& lst, const QString& strTable, const QString& strConstraint);
    void lvTables_ItemCheck(int item);
    void chkAll_Click();
    void SelectAllinLV(QTreeView& lv);
    void DeSelectAllinLV(QTreeView& lv);
    std::optional<qint32> CountSelectedinLV(QTreeView& lv);

    // The list's context menu: "Tick Keys That Are Not Clustered" and "Copy Script of Ticked Tables".
    void lvTables_ContextMenu(const QPoint& position);
    void mnuTickNotClustered_Click();
    void TickNotClusteredinLV(QTreeView& lv);
    void mnuCopyScript_Click();
    // The T-SQL script of the ticked rows, in list order, with their key columns read now.
    QString ScriptOfTickedinLV(QTreeView& lv);

    // The fix run.
    void cmdExecute_Click();
    void PerformFix();
    void AddtoTXTBox(LogTextBox& txt, const QString& strLine);

    bool isRunInProgress() const { return m_runInProgress; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // How the fix run is shown: the on-screen log and the progress bar.
    void runStarting(qint32 tables) override;
    void tableFinished(const TickedTable& table, RebuildOutcome outcome, qint32 processed) override;
    void runFinished(const FixRunCounts& counts) override;

    db::ReopeningConnection& database() const;
    QList<TickedTable> tickedTables() const;
    static TableListModel& listItems(const QTreeView& lv);
    void showSelectedKeys();

    const Platform& m_platform;
    const ErrorReport m_report;
    const LoginOpener m_openLogin;
    const std::unique_ptr<Ui::frmMain> m_ui;
    TableListModel m_tables;
    QAction* const m_mnuTickNotClustered;
    QAction* const m_mnuCopyScript;
    std::unique_ptr<frmReadingKeys> m_readingKeys;
    bool m_runInProgress = false;
    bool m_hasKeyDetails = false;
};

} // namespace quorvane
