#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <memory>

class tst_frmLogin;

namespace Ui {
class frmLogin;
}

namespace quorvane {

class ErrorReport;
struct Platform;

// The login window: server, database, SQL login and password, the connection string built live
// from them (the password goes in only when CONNECT is pressed), and a notice that is in front of
// the user for a countdown before CONNECT can be pressed. CONNECT saves the three non-secret
// fields, checks on a connection of its own that the database is a Navision 4.0 database, and on
// success hands the connection string with password to its owner through gstrConnectPass.
class frmLogin final : public QDialog
{
    Q_OBJECT

public:
    frmLogin(const Platform& platform, const ErrorReport& report, QString& gstrConnectPass, QWidget* owner = nullptr);
    ~frmLogin() override;

    // Shows the window modally, with the countdown when asked, and returns once it has closed.
    // After a successful connect gstrConnectPass holds the connection string with password;
    // otherwise it is left as it was.
    void OpenForm(bool bolWithCountDown);

protected:
    // The window has no Cancel button: Escape does not close it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class ::tst_frmLogin;

    void Form_Load();
    void BuildConnectStr();
    void SaveValuestoReg();
    void SetValuesfromReg();
    void txtServer_Change();
    void txtDB_Change();
    void txtUser_Change();
    void txtPW_Change();
    void cmdConnect_Click();
    void timNotice_Timer();

    // What a freshly loaded window starts with, so that every showing counts down anew.
    void RestoreDesignState();
    void CentreOnScreen();

    const Platform& m_platform;
    const ErrorReport& m_report;
    QString& m_gstrConnectPass;
    const std::unique_ptr<Ui::frmLogin> m_ui;
    QTimer timNotice;

    QString strConnectTemplate;
    bool bolCountDown = false;
    qint32 lngSecondsLeft = 0;
};

} // namespace quorvane
