#include "main/frmReadingKeys.h"

#include "ui_frmReadingKeys.h"

#include <QCloseEvent>
#include <QScreen>

namespace quorvane {

namespace {

    // Reading the clock for every row would cost more than the row; once per this many rows is
    // plenty at any speed a server delivers them.
    constexpr int kRowsBetweenClockReads = 256;
    constexpr qint64 kDirectRepaintMilliseconds = 200;
    // The style moves the busy bar sixty times a second; every paint is time taken from reading
    // the rows, and ten a second look just as busy.
    constexpr qint64 kBusyBarFrameMilliseconds = 100;

} // namespace

frmReadingKeys::frmReadingKeys(const QString& server, const QString& database, QWidget* parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::frmReadingKeys>())
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    m_ui->lblServer->setText(server);
    m_ui->lblDatabase->setText(database);
    showKeysRead();
    m_sinceBarPainted.start();
    m_ui->sbBusy->installEventFilter(this);

    adjustSize();
    if (const QScreen* screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

frmReadingKeys::~frmReadingKeys() = default;

void frmReadingKeys::setKeysRead(int count)
{
    m_keysRead = count;
    if (!m_showPosted) {
        m_showPosted = true;
        QMetaObject::invokeMethod(this, &frmReadingKeys::showPostedKeysRead, Qt::QueuedConnection);
    }
    if (count % kRowsBetweenClockReads == 0 && m_sinceShown.hasExpired(kDirectRepaintMilliseconds)) {
        showKeysRead();
        m_ui->lblCount->repaint();
    }
}

void frmReadingKeys::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

bool frmReadingKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_ui->sbBusy || event->type() != QEvent::StyleAnimationUpdate)
        return false;
    if (m_sinceBarPainted.hasExpired(kBusyBarFrameMilliseconds)) {
        m_sinceBarPainted.start();
        return false;
    }
    // Accepted, so that the animation goes on, but not painted.
    event->accept();
    return true;
}

void frmReadingKeys::showKeysRead()
{
    m_ui->lblCount->setText(QStringLiteral("Keys read: %1").arg(m_keysRead));
    m_sinceShown.start();
}

void frmReadingKeys::showPostedKeysRead()
{
    m_showPosted = false;
    showKeysRead();
}

} // namespace quorvane
