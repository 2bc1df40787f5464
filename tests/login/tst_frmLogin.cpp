#include "log/Clock.h"
#include "log/ErrorReport.h"
#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "main/Platform.h"
#include "support/FakeConnection.h"
#include "support/RecordingMessageSink.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace quorvane;

namespace {

const QString kServerBlank = QStringLiteral("The Server field was left blank.");
const QString kNotNavision = QStringLiteral("The selected database is not a valid Navision 4.0 Database");

QString builtString(const QString& server, const QString& database, const QString& user, const QString& password)
{
    return QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%1,1433;Initial Catalog=%2;"
                          "User ID=%3;Password=%4;")
        .arg(server, database, user, password);
}

// Saved settings in memory.
class MemorySettings final : public SettingsStore
{
public:
    void write(const QString& section, const QString& key, const QString& value) override
    {
        values.insert(section + QLatin1Char('/') + key, value);
    }
    QString read(const QString& section, const QString& key, const QString& defaultValue) const override
    {
        return values.value(section + QLatin1Char('/') + key, defaultValue);
    }
    QMap<QString, QString> values;
};

// One login window with everything it uses; the error log goes to a folder of its own.
struct Fixture
{
    explicit Fixture(SettingsStore& settings)
        : platform { messages, settings, clock, database.factory(), folder.path() }
        , report(messages, folder.path())
        , form(platform, report, gstrConnectPass)
    { }
    QLineEdit* field(const char* name) const { return form.findChild<QLineEdit*>(QLatin1String(name)); }
    QPlainTextEdit* txtConnect() const { return form.findChild<QPlainTextEdit*>(QStringLiteral("txtConnect")); }
    QPushButton* cmdConnect() const { return form.findChild<QPushButton*>(QStringLiteral("cmdConnect")); }
    void fill(const QString& server, const QString& db, const QString& user, const QString& password = {})
    {
        field("txtServer")->setText(server);
        field("txtDB")->setText(db);
        field("txtUser")->setText(user);
        field("txtPW")->setText(password);
    }

    QTemporaryDir folder;
    test::RecordingMessageSink messages;
    SystemClock clock;
    test::FakeDatabase database;
    Platform platform;
    ErrorReport report;
    QString gstrConnectPass;
    frmLogin form;
};

} // namespace

class tst_frmLogin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void countdown_data();
    void countdown();
    void openingStateAndNoticeText();
    void blankFields_data();
    void blankFields();
    void manualEditLivesUntilNextFieldChange();
    void enterKey_data();
    void enterKey();
    void savedFieldsComeBack();

private:
    // Opens the window modally and runs the actions inside its event loop; closes it afterwards.
    static void whileOpen(Fixture& f, bool countDown, const std::function<void()>& actions);

    QTemporaryDir m_configHome;
    MemorySettings m_settings;
    std::unique_ptr<Fixture> m_f;
};

void tst_frmLogin::whileOpen(Fixture& f, bool countDown, const std::function<void()>& actions)
{
    QTimer::singleShot(0, &f.form, [&] {
        const auto closer = qScopeGuard([&] {
            if (f.form.isVisible())
                f.form.reject();
        });
        QCOMPARE(QApplication::activeModalWidget(), &f.form);
        actions();
    });
    f.form.OpenForm(countDown);
    QVERIFY(!f.form.isVisible());
}

void tst_frmLogin::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
    QVERIFY(QtSettingsStore(QStringLiteral("Quorvane")).fileName().startsWith(m_configHome.path()));
}

void tst_frmLogin::init()
{
    m_settings = MemorySettings();
    m_f = std::make_unique<Fixture>(m_settings);
}

void tst_frmLogin::cleanup()
{
    m_f.reset();
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_frmLogin::countdown_data()
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

void tst_frmLogin::countdown()
{
    QFETCH(bool, countDown);
    QFETCH(QStringList, states);
    Fixture& f = *m_f;
    whileOpen(f, countDown, [&] {
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
            QTest::mouseClick(f.cmdConnect(), Qt::LeftButton);
            f.form.timNotice_Timer();
            seen.append(state());
        }
        QCOMPARE(seen, states);
        QVERIFY(f.messages.texts.isEmpty()); // the clicks on the disabled button did nothing
    });
}

void tst_frmLogin::openingStateAndNoticeText()
{
    const QString expected = QStringLiteral(
        "This program is designed to resolve the clustered index issue in Navison 4.0 SP1, I created this program due "
        "to the lack of solutions and information freely available.\r\n\r\nThis program works ONLY at the SQL level; "
        "therefore Navision may still report the index as not being clustered.\r\n\r\nThis program Is provided 'as "
        "is', I will not be held responsible for any damages, including any lost profits, lost savings or other "
        "incidental, consequential or special damages arising out of the operation of this program.   Use at your own "
        "risk, and as always please have a backup before performing any repair operation.\r\n\r\n\r\nYou can find out "
        "more information on the Ostrevan Design Studio Development Blog.\r\n\r\n"
        "http://blog.ostrevan-design.example/");
    Fixture& f = *m_f;
    whileOpen(f, true, [&] {
        QCOMPARE(f.form.findChild<QLabel*>(QStringLiteral("lblNotice"))->text(), expected);
        QVERIFY(QTest::qWaitForWindowActive(&f.form));
        // The disabled CONNECT is left out of the tab order until the countdown ends.
        QStringList visited { QApplication::focusWidget()->objectName() };
        for (int press = 0; press < 5; ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, QStringList({ "txtServer", "txtDB", "txtUser", "txtPW", "txtConnect", "txtServer" }));
    });
}

void tst_frmLogin::blankFields_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("message");
    QTest::newRow("all blank: server first") << QStringList { "", "", "" } << kServerBlank;
    QTest::newRow("server blank") << QStringList { "", "NAV", "u" } << kServerBlank;
    QTest::newRow("database before user") << QStringList { "S", "", "" } << "The Database field was left blank.";
    QTest::newRow("user blank") << QStringList { "S", "NAV", "" } << "The Username field was left blank.";
    QTest::newRow("blanks only are not blank") << QStringList { " ", " ", " " } << kNotNavision;
}

void tst_frmLogin::blankFields()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, message);
    Fixture& f = *m_f;
    whileOpen(f, false, [&] {
        f.fill(fields[0], fields[1], fields[2]);
        f.cmdConnect()->click();
    });
    QCOMPARE(f.messages.texts, QStringList { message });
    QCOMPARE(f.database.events.isEmpty(), message != kNotNavision);
    QCOMPARE(QStringList({ m_settings.values.value("Settings/Server", "unsaved"),
                           m_settings.values.value("Settings/DB", "unsaved"),
                           m_settings.values.value("Settings/User", "unsaved") }),
             fields);
}

void tst_frmLogin::manualEditLivesUntilNextFieldChange()
{
    Fixture& f = *m_f;
    whileOpen(f, false, [&] {
        f.fill(QStringLiteral("S"), QStringLiteral("NAV"), QStringLiteral("u"));
        f.txtConnect()->setPlainText(f.txtConnect()->toPlainText() + QStringLiteral("Application Name=Q;"));
        f.cmdConnect()->click();
        QCOMPARE(f.database.events.value(0), "OPEN " + builtString("S", "NAV", "u", "") + "Application Name=Q;");

        // Typing the password rebuilds the string from the template and never shows the password.
        QLineEdit* txtPW = f.field("txtPW");
        QTest::keyClicks(txtPW, QStringLiteral("s3cret"));
        QCOMPARE(f.txtConnect()->toPlainText(), builtString("S", "NAV", "u", "%PW%"));
        QCOMPARE(txtPW->displayText(), QStringLiteral("******"));
        QVERIFY(!txtPW->testAttribute(Qt::WA_InputMethodEnabled));
        QVERIFY(txtPW->inputMethodHints().testFlags(Qt::ImhHiddenText | Qt::ImhSensitiveData));
    });
}

void tst_frmLogin::enterKey_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("countDown");
    QTest::addColumn<Qt::KeyboardModifier>("modifier");
    QTest::addColumn<bool>("clicks");
    QTest::newRow("field, counting") << "txtServer" << true << Qt::NoModifier << false;
    QTest::newRow("field, ready") << "txtPW" << false << Qt::NoModifier << true;
    QTest::newRow("connection string, counting") << "txtConnect" << true << Qt::NoModifier << false;
    QTest::newRow("connection string, ready") << "txtConnect" << false << Qt::NoModifier << true;
    QTest::newRow("Ctrl+Enter breaks the line") << "txtConnect" << false << Qt::ControlModifier << false;
}

void tst_frmLogin::enterKey()
{
    QFETCH(QString, control);
    QFETCH(bool, countDown);
    QFETCH(Qt::KeyboardModifier, modifier);
    QFETCH(bool, clicks);
    Fixture& f = *m_f;
    whileOpen(f, countDown, [&] {
        QTest::keyClick(f.form.findChild<QWidget*>(control), Qt::Key_Return, modifier);
        QCOMPARE(f.txtConnect()->toPlainText().contains(QLatin1Char('\n')), modifier == Qt::ControlModifier);
    });
    QCOMPARE(f.messages.texts, clicks ? QStringList { kServerBlank } : QStringList());
}

void tst_frmLogin::savedFieldsComeBack()
{
    // Values the settings file format could mistake for something else come back as typed.
    const QStringList typed { QStringLiteral(" Sérveur;=\"名前\" "), QStringLiteral("@Variant(42)"),
                              QStringLiteral("%DB%") };
    QtSettingsStore store(QStringLiteral("Quorvane"));
    {
        Fixture f(store);
        whileOpen(f, false, [&] {
            f.fill(typed[0], typed[1], typed[2], QStringLiteral("s3cret"));
            f.cmdConnect()->click();
        });
    }
    QCOMPARE(store.fileName(), m_configHome.filePath(QStringLiteral("Quorvane/Quorvane.conf")));
    Fixture f(store);
    whileOpen(f, true, [&] {
        QCOMPARE(QStringList({ f.field("txtServer")->text(), f.field("txtDB")->text(), f.field("txtUser")->text() }),
                 typed);
        QVERIFY(f.field("txtPW")->text().isEmpty());
    });
}

QTEST_MAIN(tst_frmLogin)
#include "tst_frmLogin.moc"
