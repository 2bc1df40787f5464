#include "login/frmLogin.h"

#include "db/ConnectionStack.h"
#include "support/Guard.h"
#include "support/MessageSink.h"
#include "widgets/BusyGuard.h"
#include "login/ConnectString.h"
#include "login/DatabaseCheck.h"
#include "login/Notice.h"
#include "login/PasswordMaskStyle.h"
#include "login/ReturnKeyFilter.h"
#include "login/SettingsStore.h"
#include "widgets/Platform.h"
#include "ui_frmLogin.h"

#include <QIcon>
#include <QKeyEvent>
#include <QScreen>

// The login window's icon lives in a resource of the static GUI library; it is registered here,
// once, because nothing else refers to it and the linker would leave it out.
static void initLoginResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(login);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace quorvane {

namespace {

    const QString kSettingsSection = QStringLiteral("Settings");
    constexpr int kNoticeIntervalMilliseconds = 1000;
    constexpr qint32 kCountDownSeconds = 10;

} // namespace

frmLogin::frmLogin(const Platform& platform, const ErrorReport& report, QString& gstrConnectPass, QWidget* owner)
    : QDialog(owner)
    , m_platform(platform)
    , m_report(report)
    , m_gstrConnectPass(gstrConnectPass)
    , m_ui(std::make_unique<Ui::frmLogin>())
{
    initLoginResources();
    m_ui->setupUi(this);

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    QIcon icon;
    icon.addFile(QStringLiteral(":/login/login-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/login/login-16.png"), QSize(16, 16));
    setWindowIcon(icon);

    // Labels sized to their text keep their place and grow with the font, as their captions need.
    for (QLabel* label : { m_ui->lblServer, m_ui->lblDB, m_ui->lblUser, m_ui->lblPW, m_ui->lblConnect })
        label->resize(label->sizeHint().width(), label->height());

    // The password is never on screen and never passes through an input method.
    auto* maskStyle = new PasswordMaskStyle();
    maskStyle->setParent(this);
    m_ui->txtPW->setStyle(maskStyle);
    m_ui->txtPW->setAttribute(Qt::WA_InputMethodEnabled, false);

    new ReturnKeyFilter(*m_ui->txtConnect, *m_ui->cmdConnect); // owned by the text box

    timNotice.setInterval(kNoticeIntervalMilliseconds);
    connect(&timNotice, &QTimer::timeout, this, &frmLogin::timNotice_Timer);
    connect(m_ui->txtServer, &QLineEdit::textChanged, this, &frmLogin::txtServer_Change);
    connect(m_ui->txtDB, &QLineEdit::textChanged, this, &frmLogin::txtDB_Change);
    connect(m_ui->txtUser, &QLineEdit::textChanged, this, &frmLogin::txtUser_Change);
    connect(m_ui->txtPW, &QLineEdit::textChanged, this, &frmLogin::txtPW_Change);
    connect(m_ui->cmdConnect, &QPushButton::clicked, this, &frmLogin::cmdConnect_Click);
}

frmLogin::~frmLogin() = default;

void frmLogin::OpenForm(bool bolWithCountDown)
{
    guarded(m_report, "frmLogin::OpenForm", [&] {
        bolCountDown = bolWithCountDown;
        RestoreDesignState();
        Form_Load();
        m_ui->txtServer->setFocus();
        CentreOnScreen();
        exec();
        timNotice.stop();
    });
}

void frmLogin::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmLogin::Form_Load()
{
    guarded(m_report, "frmLogin::Form_Load", [&] {
        m_ui->lblNotice->setText(NoticeText());
        strConnectTemplate = QString::fromUtf16(kConnectTemplate);
        SetValuesfromReg();
        BuildConnectStr();
        if (bolCountDown) {
            lngSecondsLeft = kCountDownSeconds;
            timNotice.start();
            m_ui->cmdConnect->setText(CountdownCaption(lngSecondsLeft));
        } else {
            timNotice.stop();
            m_ui->cmdConnect->setText(QStringLiteral("CONNECT"));
            m_ui->cmdConnect->setEnabled(true);
        }
    });
}

void frmLogin::BuildConnectStr()
{
    guarded(m_report, "frmLogin::BuildConnectStr", [&] {
        m_ui->txtConnect->setPlainText(BuildConnectionString(strConnectTemplate, m_ui->txtServer->text(),
                                                             m_ui->txtDB->text(), m_ui->txtUser->text()));
    });
}

void frmLogin::SaveValuestoReg()
{
    guarded(m_report, "frmLogin::SaveValuestoReg", [&] {
        m_platform.settings.write(kSettingsSection, QStringLiteral("Server"), m_ui->txtServer->text());
        m_platform.settings.write(kSettingsSection, QStringLiteral("DB"), m_ui->txtDB->text());
        m_platform.settings.write(kSettingsSection, QStringLiteral("User"), m_ui->txtUser->text());
    });
}

void frmLogin::SetValuesfromReg()
{
    guarded(m_report, "frmLogin::SetValuesfromReg", [&] {
        m_ui->txtServer->setText(m_platform.settings.read(kSettingsSection, QStringLiteral("Server"), QString()));
        m_ui->txtDB->setText(m_platform.settings.read(kSettingsSection, QStringLiteral("DB"), QString()));
        m_ui->txtUser->setText(m_platform.settings.read(kSettingsSection, QStringLiteral("User"), QString()));
    });
}

void frmLogin::txtServer_Change()
{
    guarded(m_report, "frmLogin::txtServer_Change", [&] { BuildConnectStr(); });
}

void frmLogin::txtDB_Change()
{
    guarded(m_report, "frmLogin::txtDB_Change", [&] { BuildConnectStr(); });
}

void frmLogin::txtUser_Change()
{
    guarded(m_report, "frmLogin::txtUser_Change", [&] { BuildConnectStr(); });
}

void frmLogin::txtPW_Change()
{
    guarded(m_report, "frmLogin::txtPW_Change", [&] { BuildConnectStr(); });
}

void frmLogin::cmdConnect_Click()
{
    guarded(m_report, "frmLogin::cmdConnect_Click", [&] {
        SaveValuestoReg();
        const QString strConnect = ConnectStringWithPassword(m_ui->txtConnect->toPlainText(), m_ui->txtPW->text());

        if (m_ui->txtServer->text().length() == 0) {
            m_platform.messages.showMessage(QStringLiteral("The Server field was left blank."));
            return;
        }
        if (m_ui->txtDB->text().length() == 0) {
            m_platform.messages.showMessage(QStringLiteral("The Database field was left blank."));
            return;
        }
        if (m_ui->txtUser->text().length() == 0) {
            m_platform.messages.showMessage(QStringLiteral("The Username field was left blank."));
            return;
        }

        QString strRefusal;
        Failure failure(0, QString());
        qint16 intResult = kCheckUnexpected;
        {
            const BusyGuard check(*this, BusyGuard::Pointer::Wait);
            intResult = ValidateDatabase([this] { return db::newConnectionStack(m_platform.connectionFactory); },
                                         strConnect, &strRefusal, &failure);
        }
        if (intResult == kCheckNavisionDatabase) {
            m_gstrConnectPass = strConnect;
            timNotice.stop();
            accept();
            return;
        }
        // The message cannot tell that a named instance was not found or that Integrated Security
        // had no Kerberos ticket; the error log says so, and what to type instead.
        if (intResult == kCheckServerUnreachable && NeedsFailureRecord(m_ui->txtServer->text(), strConnect))
            m_report.RecordError(QStringLiteral("frmLogin::cmdConnect_Click"), failure.number(), failure.description());
        // A server that cannot encrypt as the string asks is told apart on the message's next line.
        const QString strReason
            = intResult == kCheckServerUnreachable ? EncryptionRefusalReason(strConnect, failure) : QString();
        m_platform.messages.showMessage(strReason.isEmpty()
                                            ? CheckResultMessage(intResult, strRefusal)
                                            : CheckResultMessage(intResult) + QStringLiteral("\r\n") + strReason);
    });
}

void frmLogin::timNotice_Timer()
{
    guarded(m_report, "frmLogin::timNotice_Timer", [&] {
        if (lngSecondsLeft != 0) {
            m_ui->cmdConnect->setText(CountdownCaption(lngSecondsLeft));
            --lngSecondsLeft;
        } else {
            m_ui->cmdConnect->setText(QStringLiteral("CONNECT"));
            m_ui->cmdConnect->setEnabled(true);
            // Further ticks would only repeat this.
            timNotice.stop();
        }
    });
}

void frmLogin::RestoreDesignState()
{
    timNotice.stop();
    lngSecondsLeft = 0;
    m_ui->cmdConnect->setText(QStringLiteral("CONNECT"));
    m_ui->cmdConnect->setEnabled(false);
    m_ui->txtPW->clear();
    m_ui->lblNotice->setText(QStringLiteral("Notice"));
}

void frmLogin::CentreOnScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

} // namespace quorvane
