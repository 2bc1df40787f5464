#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QWidget>
#include <memory>

namespace Ui {
class frmReadingKeys;
}

namespace quorvane {

// The small window in front of the user while start-up reads the primary-key list, from the
// moment the login window closes until the main window shows: the server and the database being
// read, a busy bar, and the number of keys read so far.
class frmReadingKeys final : public QWidget
{
    Q_OBJECT

public:
    frmReadingKeys(const QString& server, const QString& database, QWidget* parent = nullptr);
    ~frmReadingKeys() override;

    // The number of keys read so far. Called for every row, so it costs next to nothing: the
    // count is shown the next time the program waits for rows and handles its events, and, when
    // rows keep coming without such a wait, repainted directly a few times a second.
    void setKeysRead(int count);

protected:
    // The reading cannot be stopped half way; the window goes when the main window shows.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showKeysRead();
    void showPostedKeysRead();

    const std::unique_ptr<Ui::frmReadingKeys> m_ui;
    int m_keysRead = 0;
    bool m_showPosted = false;
    QElapsedTimer m_sinceShown;
    QElapsedTimer m_sinceBarPainted;
};

} // namespace quorvane
