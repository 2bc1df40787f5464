#pragma once

#include "db/OdbcConnection.h"
#include "login/SettingsStore.h"
#include "main/frmMain.h"
#include "support/Clock.h"
#include "support/RecordingMessageSink.h"
#include "support/StandinFixture.h"
#include "support/StandinProcess.h"
#include "widgets/Platform.h"

#include <QApplication>
#include <QDir>
#include <QHash>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace quorvane::test {

// Gives a new time for every call, one second after the last, so that every time stamp taken is
// told apart from the others.
class SteppingClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime(QDate(2006, 3, 14), QTime(9, 26, 53)).addSecs(m_calls++); }

private:
    mutable int m_calls = 0;
};

// The main window, built as the program builds it, in an application folder of its own, with a
// login that hands over a given connection string and message boxes that are recorded instead of
// shown. Its connections go through the real ODBC driver unless another factory is given.
class StandinWindow
{
public:
    explicit StandinWindow(db::ConnectionFactory factory = db::odbcConnectionFactory());

    // Runs the start-up with a login that returns connectString (empty: the login was abandoned)
    // and shows the window when start-up did not end the program. Returns what Form_Load returned.
    bool start(const QString& connectString);
    // Starts a stand-in serving the fixture with the further options given (e.g. a release), then
    // the window logged in to it as navuser with the keywords added to the connection string.
    bool startWith(const QJsonObject& fixture, const QStringList& options = {}, const QString& addedKeywords = {});

    StandinProcess& standin() { return *m_standin; }
    Platform& platform() { return *m_platform; }
    frmMain& window() { return *m_window; }
    template <typename T> T& control(const char* name)
    {
        T* found = m_window->findChild<T*>(QLatin1String(name));
        Q_ASSERT(found != nullptr);
        return *found;
    }

    // The list's rows as shown: "constraint | table | database", and the ticked rows' positions (from 1).
    QStringList rows();
    QList<int> tickedRows();
    // The lines of the key-column list, top to bottom.
    QStringList fieldLines();
    // A mouse click on a row's table name, and a tick or untick of a row with the space bar.
    void clickRow(int item);
    void tickRow(int item);
    void clickExecute() { QTest::mouseClick(&control<QPushButton>("cmdExecute"), Qt::LeftButton); }
    // Ticks the rows given, then clicks the run button.
    void runOn(const QList<int>& items);

    QString folder() const { return m_folder.path(); }
    QString activityLogPath() const { return QDir(m_folder.path()).filePath(QStringLiteral("QuorvaneLog.txt")); }
    // The activity log file's lines without their line ends; empty when there is no file.
    QStringList activityLogLines() const;
    // ErrorLog.txt as text, and each of its records in short: "<source> <number>".
    QString errorLog() const;
    QStringList errorRecords() const;

    RecordingMessageSink messages;
    SteppingClock clock;

private:
    // Settings kept in memory, for this window's life.
    class MemorySettings final : public SettingsStore
    {
    public:
        void write(const QString& section, const QString& key, const QString& value) override
        {
            m_values.insert(section + u'/' + key, value);
        }
        QString read(const QString& section, const QString& key, const QString& value) const override
        {
            return m_values.value(section + u'/' + key, value);
        }

    private:
        QHash<QString, QString> m_values;
    };

    QTemporaryDir m_folder;
    MemorySettings m_settings;
    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<Platform> m_platform;
    std::unique_ptr<frmMain> m_window;
};

// The base of a test class driving the main window: a fresh StandinWindow for every test
// function, and no window left behind after it.
class WindowTest : public QObject
{
    Q_OBJECT

protected:
    StandinWindow& ui() { return *m_ui; }
    std::unique_ptr<StandinWindow> m_ui;

protected Q_SLOTS:
    void init() { m_ui = std::make_unique<StandinWindow>(); }
    void cleanup()
    {
        m_ui.reset();
        QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
    }
};

} // namespace quorvane::test
