#pragma once

#include "db/ReopeningConnection.h"
#include "keys/KeyListModel.h"
#include "rebuild/FixRun.h"
#include "support/ErrorReport.h"
#include "widgets/Platform.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QPoint;

namespace Ui {
class frmMain;
}

namespace quorvane {

class frmReadingKeys;

// The program's start-up window and its only working window: the list of primary-key
// constraints with a tick per row, the key columns of the clicked row, the count of ticked rows,
// and the run that re-creates the ticked keys as clustered keys with its on-screen log and
// progress bar. The rows and their ticks live in the list's model (KeyListModel); the statements
// and the run in the core; the window shows them and hands the user's clicks on.
class frmMain final : public QWidget, private FixRunListener
{
    Q_OBJECT

public:
    // Opens the login window modally, owned by the main window, and returns when it has closed:
    // the connection string with the password filled in, or nothing when no login succeeded.
    using LoginOpener = std::function<QString(frmMain& owner, bool bolCountDown)>;

    frmMain(const Platform& platform, LoginOpener openLogin, QWidget* parent = nullptr);
    ~frmMain() override;

    const ErrorReport& errorReport() const { return m_report; }
    // The activity log file's full path, set by the start-up.
    const QString& activityLogFile() const { return strLogFile; }
    // The one database connection, for statements sent beside the window's own. Throws
    // Failure(91) while no connection was opened.
    db::Connection& connection() const;
    // A run or another wait on the database is going on: the window takes no input meanwhile.
    bool isRunInProgress() const { return m_runInProgress; }
    bool hasKeyDetails() const { return m_hasKeyDetails; }

    // The start-up sequence, run before the window is first shown. Returns false when the program
    // is to end silently (login abandoned, or no connection could be opened).
    bool Form_Load();
    // Its steps. Creates cnnDatabase and opens it; false on any failure, which it does not report.
    bool OpenConnection(const QString& strConnect);
    // Shows, until this window shows, the small window that tells the user which server and
    // database (those of the connection string) the primary keys are read from and how many have
    // been read.
    void ShowReadingKeys(const QString& strConnect);
    void LoadTablesIntoLV();
    // Reads the catalogue's details of every key (clustered, size, predicted refusal) and marks the
    // list's rows with them. A failure leaves the rows unmarked and is written to the error log
    // only. Called once the list is filled and the window shows.
    void LoadKeyDetails();

    // "Select All Tables" clicked, and "Create Clustered Indexes" pressed (its run).
    void chkAll_Click();
    void PerformFix();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SizeLVColumn();

    // The list and the selection; items are addressed from 1.
    void lvTables_ItemClick(int item);
    void LoadKeysIntoLST(const QString& strTable, const QString& strConstraint);
    void lvTables_ItemCheck(int item);
    void SelectAllinLV();
    void DeSelectAllinLV();
    std::optional<qint32> CountSelectedinLV();
    void showSelectedKeys();

    // The list's context menu: "Tick Keys That Are Not Clustered" and "Copy Script of Ticked Tables".
    void lvTables_ContextMenu(const QPoint& position);
    void mnuTickNotClustered_Click();
    void TickNotClusteredinLV();
    void mnuCopyScript_Click();
    // The T-SQL script of the ticked rows, in list order, with their key columns read now.
    QString ScriptOfTickedinLV();

    // The fix run, and how it is shown: the on-screen log and the progress bar.
    void cmdExecute_Click();
    void runStarting(qint32 tables) override;
    void tableFinished(const TickedTable& table, RebuildOutcome outcome, qint32 processed) override;
    void outcomeChecked(const TickedTable& table, bool rebuilt) override;
    void runFinished(const FixRunCounts& counts) override;
    bool stopRequested() const override { return m_stop != StopRequest::None; }

    // Stop during a run (the button, Esc): the first press ends the run after the table in
    // progress; the second cancels that table's statement, which rolls the table back.
    void cmdStop_Click();
    // Closing during a run asks which of the two the user wants; the window closes after the run.
    void closeRequestedDuringRun();
    void cancelStatementInProgress();

    // "Wait for a busy table": the lock time-out of the connection, kept with the saved fields.
    void fillLockTimeoutChoices();
    db::LockTimeout chosenLockTimeout() const;
    void cboLockTimeout_Change();
    void AddtoTXTBox(const QString& strLine);

    db::ReopeningConnection& database() const;

    // The connection string with the password filled in; empty while no login succeeded.
    QString gstrConnectPass;
    // The one database connection, open from start-up until the window goes; opened again with
    // the same connection string when its link to the server was lost.
    std::unique_ptr<db::ReopeningConnection> cnnDatabase;
    // The activity log file's full path.
    QString strLogFile;

    const Platform& m_platform;
    const ErrorReport m_report;
    const LoginOpener m_openLogin;
    const std::unique_ptr<Ui::frmMain> m_ui;
    KeyListModel m_tables;
    QAction* const m_mnuTickNotClustered;
    QAction* const m_mnuCopyScript;
    std::unique_ptr<frmReadingKeys> m_readingKeys;
    bool m_runInProgress = false;
    bool m_hasKeyDetails = false;
    enum class StopRequest { None, AfterTable, Now };
    StopRequest m_stop = StopRequest::None;
    bool m_closeAfterRun = false;
    // A table whose COMMIT reply was lost and whose key could not be looked at since.
    std::optional<TickedTable> m_outcomeUnknown;
};

} // namespace quorvane
