#include "LoginEndToEnd.h"
#include "login/DatabaseCheck.h"
#include "support/FakeConnection.h"

#include <QLabel>

using namespace quorvane;
using test::kNotNavision;

namespace {

const QString kServerBlank = QStringLiteral("The Server field was left blank.");
const QString kNotice = QStringLiteral(
    "This program is designed to resolve the clustered index issue in Navison 4.0 SP1, I created this program due "
    "to the lack of solutions and information freely available.\r\n\r\nThis program works ONLY at the SQL level; "
    "therefore Navision may still report the index as not being clustered.\r\n\r\nThis program Is provided 'as "
    "is', I will not be held responsible for any damages, including any lost profits, lost savings or other "
    "incidental, consequential or special damages arising out of the operation of this program.   Use at your own "
    "risk, and as always please have a backup before performing any repair operation.\r\n\r\n\r\nYou can find out "
    "more information on the Ostrevan Design Studio Development Blog.\r\n\r\n"
    "http://blog.ostrevan-design.example/");

QString builtString(const QString& server, const QString& database, const QString& user, const QString& password)
{
    return QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%1,1433;Initial Catalog=%2;"
                          "User ID=%3;Password=%4;")
        .arg(server, database, user, password);
}

// One login window over a fake database, its settings and error log in the test's own folders.
struct Fixture
{
    explicit Fixture(const QString& folder)
        : login(folder, database.factory())
    { }
    QLineEdit* field(const char* name) const { return form.findChild<QLineEdit*>(QLatin1String(name)); }
    QPlainTextEdit* txtConnect() const { return form.findChild<QPlainTextEdit*>(QStringLiteral("txtConnect")); }
    QPushButton* cmdConnect() const { return form.findChild<QPushButton*>(QStringLiteral("cmdConnect")); }
    void fill(const QStringList& texts, const QString& password = {})
    {
        field("txtServer")->setText(texts[0]);
        field("txtDB")->setText(texts[1]);
        field("txtUser")->setText(texts[2]);
        field("txtPW")->setText(password);
    }
    void whileOpen(bool countDown, const std::function<void()>& actions) { test::whileOpen(form, countDown, actions); }

    test::FakeDatabase database;
    test::LoginUnderTest login;
    frmLogin& form = login.form;
    test::RecordingMessageSink& messages = login.messages;
};

} // namespace

class tst_frmLogin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { m_folders.startProgram(); }
    void init()
    {
        m_folders.startTest();
        m_f = std::make_unique<Fixture>(m_folders.applicationFolder());
    }

    void cleanup()
    {
        m_f.reset();
        m_folders.endTest();
    }

    void noticeCountdownAndEnter_data()
    {
        // The caption, state and seconds left of CONNECT when the window opens and after each tick.
        QTest::addColumn<bool>("countDown");
        QTest::addColumn<QStringList>("states");
        QTest::newRow("ready at once, no timer") << false << QStringList { "CONNECT on 0" };
        QTest::newRow("counting down") << true << QStringList { "(10 sec.) off 10", "(10 sec.) off 9", "(9 sec.) off 8",
                                                                "(8 sec.) off 7",   "(7 sec.) off 6",  "(6 sec.) off 5",
                                                                "(5 sec.) off 4",   "(4 sec.) off 3",  "(3 sec.) off 2",
                                                                "(2 sec.) off 1",   "(1 sec.) off 0",  "CONNECT on 0" };
    }

    void noticeCountdownAndEnter()
    {
        QFETCH(bool, countDown);
        QFETCH(QStringList, states);
        Fixture& f = *m_f;
        f.whileOpen(countDown, [&] {
            QCOMPARE(f.form.findChild<QLabel*>(QStringLiteral("lblNotice"))->text(), kNotice);
            QCOMPARE(f.form.timNotice.isActive(), countDown);
            QCOMPARE(f.form.timNotice.interval(), 1000);
            f.form.timNotice.stop(); // driven tick by tick below
            const auto state = [&] {
                return f.cmdConnect()->text() + (f.cmdConnect()->isEnabled() ? " on " : " off ")
                    + QString::number(f.form.lngSecondsLeft);
            };
            QStringList seen { state() };
            while (seen.size() < states.size()) {
                if (seen.size() == 5)
                    f.field("txtDB")->setText(QStringLiteral("typed meanwhile"));
                // Neither a click nor Enter, in a field or in the connection string, presses it yet.
                QTest::mouseClick(f.cmdConnect(), Qt::LeftButton);
                QTest::keyClick(f.field("txtPW"), Qt::Key_Return);
                QTest::keyClick(f.txtConnect(), Qt::Key_Return);
                f.form.timNotice_Timer();
                seen.append(state());
            }
            QCOMPARE(seen, states);
            // Once enabled: Ctrl+Enter breaks the line, Enter in a field or the connection string presses
            // CONNECT, and only that press shows a message.
            QVERIFY(!f.txtConnect()->toPlainText().contains(QLatin1Char('\n')));
            QTest::keyClick(f.txtConnect(), Qt::Key_Return, Qt::ControlModifier);
            QVERIFY(f.txtConnect()->toPlainText().contains(QLatin1Char('\n')));
            QTest::keyClick(countDown ? f.txtConnect() : static_cast<QWidget*>(f.field("txtPW")), Qt::Key_Return);
            QCOMPARE(f.messages.texts, QStringList { kServerBlank });
        });
    }

    // Left to the window's own timer, the countdown ends with CONNECT enabled and the timer stopped.
    void countdownRunsOnTheWindowsTimer()
    {
        m_f->whileOpen(true, [&] {
            m_f->form.timNotice.setInterval(1); // the ten seconds, shortened
            QTRY_VERIFY(m_f->cmdConnect()->isEnabled());
            QVERIFY(!m_f->form.timNotice.isActive());
        });
    }

    void connectSavesFieldsFirst_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("message");
        QTest::newRow("database before user") << QStringList { "S", "", "" } << "The Database field was left blank.";
        QTest::newRow("user blank") << QStringList { "S", "NAV", "" } << "The Username field was left blank.";
        QTest::newRow("blanks only are not blank") << QStringList { " ", " ", " " } << kNotNavision;
        // Values the settings file format could take for something else come back exactly as typed.
        QTest::newRow("odd values") << QStringList { " Sérveur;=\"名前\" ", "@Variant(42)", "%DB%" } << kNotNavision;
    }

    // The three fields are saved, as the platform's store keeps them, in the section "Settings" (on
    // Windows string values in its subkey), and nothing else: no password. The next window shows them.
    void connectSavesFieldsFirst()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        m_f->whileOpen(false, [&] {
            m_f->fill(fields, QStringLiteral("s3cret"));
            m_f->cmdConnect()->click();
        });
        QCOMPARE(m_f->messages.texts, QStringList { message });
        QCOMPARE(m_f->database.events.isEmpty(), message != kNotNavision);
        const std::unique_ptr<QSettings> saved = test::LoginTestFolders::saved();
        QCOMPARE(saved->allKeys(), (QStringList { "Settings/DB", "Settings/Server", "Settings/User" }));
        QCOMPARE(QStringList({ saved->value("Settings/Server").toString(), saved->value("Settings/DB").toString(),
                               saved->value("Settings/User").toString() }),
                 fields);
        m_f = std::make_unique<Fixture>(m_folders.applicationFolder());
        m_f->whileOpen(true, [&] {
            QCOMPARE(QStringList({ m_f->field("txtServer")->text(), m_f->field("txtDB")->text(),
                                   m_f->field("txtUser")->text() }),
                     fields);
            QVERIFY(m_f->field("txtPW")->text().isEmpty());
            QCOMPARE(m_f->txtConnect()->toPlainText(), builtString(fields[0], fields[1], fields[2], "%PW%"));
        });
    }

    void manualEditLivesUntilNextFieldChange()
    {
        Fixture& f = *m_f;
        f.whileOpen(false, [&] {
            f.fill({ "S", "NAV", "u" });
            f.txtConnect()->setPlainText(f.txtConnect()->toPlainText() + QStringLiteral("Application Name=Q;"));
            f.cmdConnect()->click();
            // The check's own connection bounds its lock waits first, and is closed after the query.
            QCOMPARE(f.database.events,
                     QStringList({ "OPEN " + builtString("S", "NAV", "u", "") + "Application Name=Q;",
                                   "EXEC SET LOCK_TIMEOUT 30000", "EXEC " + QString::fromUtf16(kNavisionCheckQuery),
                                   "CLOSE" }));

            // Typing the password rebuilds the string from the template and never shows the password.
            QLineEdit* txtPW = f.field("txtPW");
            QTest::keyClicks(txtPW, QStringLiteral("s3cret"));
            QCOMPARE(f.txtConnect()->toPlainText(), builtString("S", "NAV", "u", "%PW%"));
            QCOMPARE(txtPW->displayText(), QStringLiteral("******"));
            QVERIFY(!txtPW->testAttribute(Qt::WA_InputMethodEnabled));
            QVERIFY(txtPW->inputMethodHints().testFlags(Qt::ImhHiddenText | Qt::ImhSensitiveData));
        });
    }

private:
    test::LoginTestFolders m_folders;
    std::unique_ptr<Fixture> m_f;
};

QTEST_MAIN(tst_frmLogin)
#include "tst_frmLogin.moc"
