#include "main/frmMain.h"

#include "db/ConnectionStack.h"
#include "db/DriverConnectionString.h"
#include "db/LockTimeout.h"
#include "keys/Captions.h"
#include "keys/KeyDetailsQuery.h"
#include "keys/PrimaryKeyListQuery.h"
#include "login/SettingsStore.h"
#include "main/KeyListDelegate.h"
#include "main/LogTextBox.h"
#include "main/frmReadingKeys.h"
#include "rebuild/ClusteredIndexRebuild.h"
#include "rebuild/RebuildScript.h"
#include "rebuild/Statements.h"
#include "support/ActivityLog.h"
#include "support/Clock.h"
#include "support/FileHelpers.h"
#include "support/Guard.h"
#include "support/MessageSink.h"
#include "ui_frmMain.h"
#include "widgets/BusyGuard.h"
#include "widgets/Twips.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

// The window's pictures live in a static library; their resources must be registered by name.
static void registerWindowResources()
{
    Q_INIT_RESOURCE(frmMain);
}

namespace quorvane {

namespace {

    // How long the details wait for a statement of another routine to finish.
    constexpr int kRetryDetailsMs = 100;

    // The error raised when an object the routine needs has not been set up.
    constexpr std::int32_t kObjectNotSet = 91;

    [[noreturn]] void throwObjectNotSet()
    {
        throw Failure(kObjectNotSet, QStringLiteral("Object variable or With block variable not set"));
    }

    // The layout's widths were measured for a narrower dialog font; a check box whose caption
    // would be cut off grows to the right, where the layout leaves room.
    void widenToShowCaption(QCheckBox& box)
    {
        box.resize(std::max(box.width(), box.sizeHint().width()), box.height());
    }

    const QString kSettingsSection = QStringLiteral("Settings");
    const QString kLockTimeoutKey = QStringLiteral("LockTimeout");

    // The choices of "Wait for a busy table", in seconds; none: without limit.
    struct LockTimeoutChoice
    {
        const char* caption;
        std::optional<int> seconds;
    };
    const std::array<LockTimeoutChoice, 5> kLockTimeoutChoices { {
        { "5 s", 5 },
        { "30 s", 30 },
        { "2 min", 120 },
        { "10 min", 600 },
        { "without limit", std::nullopt },
    } };

    db::LockTimeout lockTimeoutOf(const LockTimeoutChoice& choice)
    {
        return choice.seconds ? db::LockTimeout::seconds(*choice.seconds) : db::LockTimeout::withoutLimit();
    }

    // A copy of the text without leading and trailing blanks (space characters only).
    QString withoutBlanks(const QString& text)
    {
        qsizetype first = 0;
        qsizetype last = text.size();
        while (first < last && text.at(first) == QLatin1Char(' '))
            ++first;
        while (last > first && text.at(last - 1) == QLatin1Char(' '))
            --last;
        return text.mid(first, last - first);
    }

} // namespace

frmMain::frmMain(const Platform& platform, LoginOpener openLogin, QWidget* parent)
    : QWidget(parent)
    , m_platform(platform)
    , m_report(platform.messages, platform.applicationFolder)
    , m_openLogin(std::move(openLogin))
    , m_ui(std::make_unique<Ui::frmMain>())
    , m_mnuTickNotClustered(new QAction(QStringLiteral("Tick Keys That Are Not Clustered"), this))
    , m_mnuCopyScript(new QAction(QStringLiteral("Copy Script of Ticked Tables"), this))
{
    registerWindowResources();
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // The on-screen log has the button-face background; the palette in the form file cannot name
    // a system colour, so it is taken from the running style here.
    QPalette logPalette = m_ui->txtLog->palette();
    for (const QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        logPalette.setColor(group, QPalette::Base, logPalette.color(group, QPalette::Button));
    m_ui->txtLog->setPalette(logPalette);

    widenToShowCaption(*m_ui->chkAll);
    widenToShowCaption(*m_ui->chkLog);

    m_ui->lvTables->setModel(&m_tables);
    m_ui->lvTables->setItemDelegate(new KeyListDelegate(m_ui->lvTables));
    m_ui->lvTables->header()->setSectionsMovable(false);
    m_mnuTickNotClustered->setObjectName(QStringLiteral("mnuTickNotClustered"));
    m_mnuCopyScript->setObjectName(QStringLiteral("mnuCopyScript"));
    // Which keys are clustered is known only once the details have arrived.
    m_mnuTickNotClustered->setEnabled(false);

    connect(m_ui->lvTables, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { lvTables_ItemClick(index.row() + 1); });
    connect(&m_tables, &KeyListModel::itemCheckedByUser, this, &frmMain::lvTables_ItemCheck);
    connect(m_ui->chkAll, &QCheckBox::clicked, this, &frmMain::chkAll_Click);
    connect(m_ui->cmdExecute, &QPushButton::clicked, this, &frmMain::cmdExecute_Click);
    connect(m_ui->cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
    fillLockTimeoutChoices();
    connect(m_ui->cboLockTimeout, &QComboBox::activated, this, &frmMain::cboLockTimeout_Change);
    connect(m_ui->lvTables, &QWidget::customContextMenuRequested, this, &frmMain::lvTables_ContextMenu);
    connect(m_mnuTickNotClustered, &QAction::triggered, this, &frmMain::mnuTickNotClustered_Click);
    connect(m_mnuCopyScript, &QAction::triggered, this, &frmMain::mnuCopyScript_Click);

    m_ui->chkAll->setFocus();
}

frmMain::~frmMain()
{
    // The list view is destroyed with the window's children, after the members; let it go of the
    // rows first.
    m_ui->lvTables->setModel(nullptr);
}

bool frmMain::Form_Load()
{
    bool ending = false;
    guarded(m_report, "Form_Load", [&] {
        gstrConnectPass = m_openLogin(*this, true);
        strLogFile = AddBackslash(m_platform.applicationFolder) + QStringLiteral("QuorvaneLog.txt");
        if (gstrConnectPass.isEmpty()) {
            ending = true;
            return;
        }
        ShowReadingKeys(gstrConnectPass);
        SizeLVColumn();
        if (!OpenConnection(gstrConnectPass)) {
            ending = true;
            return;
        }
        LoadTablesIntoLV();
        // The details follow once the window shows with its list, so the list is not kept waiting.
        QTimer::singleShot(0, this, &frmMain::LoadKeyDetails);
        setWindowTitle(versionCaption(m_platform.versionMajor, m_platform.versionMinor, m_platform.versionRevision));
    });
    if (ending)
        m_readingKeys.reset();
    return !ending;
}

bool frmMain::OpenConnection(const QString& strConnect)
{
    try {
        // The window keeps painting while a statement takes minutes (see db/ConnectionStack.h);
        // input is kept away meanwhile (InputBlocker).
        cnnDatabase = db::newConnectionStack(m_platform.connectionFactory);
        if (!cnnDatabase)
            return false;
        cnnDatabase->setLockTimeout(chosenLockTimeout());
        cnnDatabase->Open(strConnect);
        return true;
    } catch (...) {
        return false;
    }
}

void frmMain::ShowReadingKeys(const QString& strConnect)
{
    // Only a help to the user while waiting: should it fail, start-up goes on as it would
    // without it, with nothing reported.
    try {
        const db::ConnectionTarget target = db::DescribeConnectionTarget(strConnect);
        m_readingKeys = std::make_unique<frmReadingKeys>(target.server, target.database);
        connect(&m_tables, &QAbstractItemModel::rowsInserted, m_readingKeys.get(),
                [this] { m_readingKeys->setKeysRead(m_tables.itemCount()); });
        m_readingKeys->show();
    } catch (...) {
        m_readingKeys.reset();
    }
}

void frmMain::SizeLVColumn()
{
    guarded(m_report, "SizeLVColumn", [&] {
        const QTreeView& lv = *m_ui->lvTables;
        QHeaderView& header = *lv.header();
        const int columns = header.count();
        for (int column = 1; column <= columns; ++column) {
            const float width = evenColumnWidthTwips(pixelsToTwips(lv.width()), header.count());
            header.resizeSection(column - 1, twipsToPixels(width));
        }
    });
}

void frmMain::LoadTablesIntoLV()
{
    guarded(m_report, "LoadTablesIntoLV", [&] { readPrimaryKeyList(database(), m_tables); });
}

void frmMain::LoadKeyDetails()
{
    // One call at a time on the connection: while another routine waits on it, come back later.
    if (m_runInProgress) {
        QTimer::singleShot(kRetryDetailsMs, this, &frmMain::LoadKeyDetails);
        return;
    }
    guardedQuietly(m_report, "LoadKeyDetails", [&] {
        if (m_tables.itemCount() == 0)
            return; // nothing to mark
        // The window keeps painting while the query runs; no click may start anything meanwhile.
        const BusyGuard query(*this, m_runInProgress);
        KeyDetailsIndex details(readKeyDetails(database()));
        m_tables.setDetails(details);
        m_hasKeyDetails = true;
        m_mnuTickNotClustered->setEnabled(true);
    });
}

void frmMain::lvTables_ItemClick(int item)
{
    guarded(m_report, "lvTables_ItemClick", [&] {
        if (withoutBlanks(m_tables.itemText(item)).isEmpty())
            return;
        {
            // A connection lost earlier is opened again before anything else.
            const BusyGuard reopening(*this, m_runInProgress);
            database().ResumeWithRetry();
        }
        LoadKeysIntoLST(m_tables.subItemText(item, 1), m_tables.itemText(item));
    });
}

void frmMain::LoadKeysIntoLST(const QString& strTable, const QString& strConstraint)
{
    guarded(m_report, "LoadKeysIntoLST", [&] {
        // The window keeps painting while the query runs; no click may start another meanwhile.
        const BusyGuard query(*this, m_runInProgress);
        QListWidget& lst = *m_ui->lstFields;
        const QString strSQL = keyColumnQuery(strTable, strConstraint);
        lst.clear();
        const std::unique_ptr<db::RecordSet> rsColumns = database().Execute(strSQL);
        while (!rsColumns->eof()) {
            lst.addItem(rsColumns->Fields(0));
            rsColumns->MoveNext();
        }
    });
}

void frmMain::lvTables_ItemCheck(int)
{
    guarded(m_report, "lvTables_ItemCheck", [&] { showSelectedKeys(); });
}

void frmMain::chkAll_Click()
{
    guarded(m_report, "chkAll_Click", [&] {
        if (m_ui->chkAll->checkState() == Qt::Checked)
            SelectAllinLV();
        else
            DeSelectAllinLV();
        showSelectedKeys();
    });
}

void frmMain::SelectAllinLV()
{
    guarded(m_report, "SelectAllinLV", [&] { m_tables.setAllChecked(true); });
}

void frmMain::DeSelectAllinLV()
{
    guarded(m_report, "DeSelectAllinLV", [&] { m_tables.setAllChecked(false); });
}

std::optional<qint32> frmMain::CountSelectedinLV()
{
    std::optional<qint32> lngSelected;
    guarded(m_report, "CountSelectedinLV", [&] { lngSelected = m_tables.checkedCount(); });
    return lngSelected;
}

void frmMain::showSelectedKeys()
{
    m_ui->lblKeys->setText(selectedKeysCaption(CountSelectedinLV()));
}

void frmMain::lvTables_ContextMenu(const QPoint& position)
{
    guarded(m_report, "lvTables_ContextMenu", [&] {
        QMenu menu(this);
        menu.addAction(m_mnuTickNotClustered);
        menu.addAction(m_mnuCopyScript);
        menu.exec(m_ui->lvTables->viewport()->mapToGlobal(position));
    });
}

void frmMain::mnuTickNotClustered_Click()
{
    guarded(m_report, "mnuTickNotClustered_Click", [&] {
        TickNotClusteredinLV();
        showSelectedKeys();
    });
}

void frmMain::TickNotClusteredinLV()
{
    guarded(m_report, "TickNotClusteredinLV", [&] { m_tables.checkKeysToRebuild(); });
}

void frmMain::mnuCopyScript_Click()
{
    guarded(m_report, "mnuCopyScript_Click", [&] {
        const QString script = ScriptOfTickedinLV();
        if (!script.isEmpty())
            QGuiApplication::clipboard()->setText(script);
    });
}

QString frmMain::ScriptOfTickedinLV()
{
    QString script;
    guarded(m_report, "ScriptOfTickedinLV", [&] {
        // The key columns are read now, one query per table; the window takes no input meanwhile.
        const BusyGuard query(*this, m_runInProgress);
        const QList<ScriptKey> keys = m_tables.checkedScriptKeys();
        const ScriptHeader header { db::DescribeConnectionTarget(gstrConnectPass).server, m_tables.databaseName(),
                                    m_platform.clock.now() };
        script = rebuildScript(database(), header, keys);
    });
    return script;
}

void frmMain::cmdExecute_Click()
{
    // A second start while a run is still going would interleave two runs on the one connection.
    if (m_runInProgress)
        return;
    guarded(m_report, "cmdExecute_Click", [&] { PerformFix(); });
}

void frmMain::PerformFix()
{
    m_stop = StopRequest::None;
    m_closeAfterRun = false;
    m_ui->cmdStop->setText(QStringLiteral("Stop"));
    m_ui->cmdStop->setEnabled(true);
    m_ui->cmdExecute->hide();
    m_ui->cmdStop->show();
    guarded(m_report, "PerformFix", [&] {
        const BusyGuard run(*this, m_runInProgress,
                            { m_ui->cmdStop, [this] { cmdStop_Click(); }, [this] { closeRequestedDuringRun(); } });
        // A connection lost earlier is opened again before anything else; when it cannot be, that
        // is the run's one report.
        database().ResumeWithRetry();
        RebuildContext context { database(), [this] { return m_ui->chkLog->checkState() == Qt::Checked; }, strLogFile,
                                 m_platform.clock, m_report };
        context.cancelRequested = [this] { return m_stop == StopRequest::Now; };
        RunFix(
            context, m_tables.checkedTables(), *this, [this] { database().ResumeWithRetry(); }, &m_outcomeUnknown);
    });
    m_ui->cmdStop->hide();
    m_ui->cmdExecute->show();
    if (m_closeAfterRun)
        QTimer::singleShot(0, this, &QWidget::close);
}

void frmMain::cmdStop_Click()
{
    if (!m_runInProgress)
        return;
    if (m_stop == StopRequest::None) {
        m_stop = StopRequest::AfterTable;
        m_ui->cmdStop->setText(QStringLiteral("Stop Now"));
        return;
    }
    cancelStatementInProgress();
}

void frmMain::cancelStatementInProgress()
{
    if (m_stop == StopRequest::Now)
        return;
    m_stop = StopRequest::Now;
    m_ui->cmdStop->setEnabled(false);
    if (cnnDatabase)
        cnnDatabase->Cancel();
}

void frmMain::closeRequestedDuringRun()
{
    const int choice = m_platform.messages.askChoice(
        QStringLiteral("Tables are being rebuilt. Stop after the table in progress, or stop now: cancel its "
                       "statement and roll it back?"),
        { QStringLiteral("Stop After This Table"), QStringLiteral("Stop Now"), QStringLiteral("Keep Running") });
    if (!m_runInProgress || choice < 0 || choice > 1)
        return;
    m_closeAfterRun = true;
    if (choice == 0) {
        if (m_stop == StopRequest::None)
            cmdStop_Click();
    } else {
        cancelStatementInProgress();
    }
}

void frmMain::fillLockTimeoutChoices()
{
    // Each choice carries its saved form ("30", "none"); a saved value that is none of them (edited
    // by hand) shows the default.
    for (const LockTimeoutChoice& choice : kLockTimeoutChoices)
        m_ui->cboLockTimeout->addItem(QLatin1String(choice.caption), lockTimeoutOf(choice).text());
    const QString saved = m_platform.settings.read(kSettingsSection, kLockTimeoutKey, QString());
    const int index = m_ui->cboLockTimeout->findData(saved);
    m_ui->cboLockTimeout->setCurrentIndex(
        index >= 0 ? index : m_ui->cboLockTimeout->findData(db::LockTimeout::defaultWait().text()));
}

db::LockTimeout frmMain::chosenLockTimeout() const
{
    return db::LockTimeout::fromText(m_ui->cboLockTimeout->currentData().toString())
        .value_or(db::LockTimeout::defaultWait());
}

void frmMain::cboLockTimeout_Change()
{
    guarded(m_report, "cboLockTimeout_Change", [&] {
        const db::LockTimeout lockTimeout = chosenLockTimeout();
        m_platform.settings.write(kSettingsSection, kLockTimeoutKey, lockTimeout.text());
        // Told to the server before the connection's next statement.
        if (cnnDatabase)
            cnnDatabase->setLockTimeout(lockTimeout);
    });
}

void frmMain::runStarting(qint32)
{
    m_ui->txtLog->setText(QString());
    // With nothing ticked the maximum is 0; the bar then shows empty (see RunProgressBar).
    m_ui->sbStatus->setMaximum(CountSelectedinLV().value_or(0));
}

void frmMain::tableFinished(const TickedTable& table, RebuildOutcome outcome, qint32 processed)
{
    AddtoTXTBox(tableLogLine(table, outcome));
    m_ui->sbStatus->setValue(processed);
}

void frmMain::outcomeChecked(const TickedTable& table, bool rebuilt)
{
    AddtoTXTBox(checkedLogLine(table, rebuilt));
}

void frmMain::runFinished(const FixRunCounts& counts)
{
    AddtoTXTBox(summaryLogLine(counts));
}

void frmMain::AddtoTXTBox(const QString& strLine)
{
    guarded(m_report, "AddtoTXTBox", [&] {
        LogTextBox& txt = *m_ui->txtLog;
        txt.setText(textWithAppendedLine(txt.text(), strLine));
    });
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // Closing ends the program; during a run that would leave a table half done.
    if (m_runInProgress)
        event->ignore();
    else
        event->accept();
}

void frmMain::showEvent(QShowEvent* event)
{
    // The list is filled by now; the window that told the user so far goes as this one appears.
    m_readingKeys.reset();
    QWidget::showEvent(event);
}

db::Connection& frmMain::connection() const
{
    return database();
}

db::ReopeningConnection& frmMain::database() const
{
    if (!cnnDatabase)
        throwObjectNotSet();
    return *cnnDatabase;
}

} // namespace quorvane
