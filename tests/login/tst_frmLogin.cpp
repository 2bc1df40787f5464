#include "log/Clock.h"
#include "log/ErrorReport.h"
#include "log/Failure.h"
#include "login/QtSettingsStore.h"
#include "login/frmLogin.h"
#include "main/Platform.h"
#include "support/FakeConnection.h"
#include "support/RecordingMessageSink.h"

#include <QApplication>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>

using namespace quorvane;

namespace {

const QString kServerBlank = QStringLiteral("The Server field was left blank.");
const QString kNotNavision = QStringLiteral("The selected database is not a valid Navision 4.0 Database");
const QString kReported = QStringLiteral("An Error has occurred, Please see the ErrorLog.txt file for details.");

QString builtString(const QString& server, const QString& database, const QString& user, const QString& password)
{
    return QStringLiteral("Provider=sqloledb;Network Library=DBMSSOCN;Data Source=%1,1433;Initial Catalog=%2;"
                          "User ID=%3;Password=%4;")
        .arg(server, database, user, password);
}

// Saved settings in memory; with a failure set, every call throws it.
class MemorySettings final : public SettingsStore
{
public:
    void write(const QString& section, const QString& key, const QString& value) override
    {
        if (failure)
            throw *failure;
        values.insert(section + QLatin1Char('/') + key, value);
    }
    QString read(const QString& section, const QString& key, const QString& defaultValue) const override
    {
        if (failure)
            throw *failure;
        return values.value(section + QLatin1Char('/') + key, defaultValue);
    }
    QMap<QString, QString> values;
    std::optional<Failure> failure;
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
    QStringList reportedSources() const
    {
        QFile log(folder.filePath(QStringLiteral("ErrorLog.txt")));
        QStringList sources;
        if (log.open(QIODevice::ReadOnly))
            for (const QString& line : QString::fromLocal8Bit(log.readAll()).split(QStringLiteral("\r\n")))
                if (line.startsWith(QLatin1String("Source: ")))
                    sources.append(line.mid(8));
        return sources;
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
    void openingState_data();
    void openingState();
    void noticeTextAndEveryTextFits();
    void countdown();
    void blankFields_data();
    void blankFields();
    void connect_data();
    void connect();
    void manualEditLivesUntilNextFieldChange();
    void enterKey_data();
    void enterKey();
    void closingHandsNothingOn();
    void settingsFailuresAreReported();
    void savedFieldsComeBackAndPasswordIsInNoFile();

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

void tst_frmLogin::openingState_data()
{
    QTest::addColumn<bool>("countDown");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("focusOrder");
    QTest::newRow("ready at once") << false << "CONNECT"
                                   << QStringList { "txtServer",  "txtDB",      "txtUser",  "txtPW",
                                                    "cmdConnect", "txtConnect", "txtServer" };
    QTest::newRow("counting: disabled CONNECT skipped")
        << true << "(10 sec.)" << QStringList { "txtServer", "txtDB", "txtUser", "txtPW", "txtConnect", "txtServer" };
}

void tst_frmLogin::openingState()
{
    QFETCH(bool, countDown);
    QFETCH(QString, caption);
    QFETCH(QStringList, focusOrder);
    Fixture& f = *m_f;
    whileOpen(f, countDown, [&] {
        QCOMPARE(f.cmdConnect()->text(), caption);
        QCOMPARE(f.cmdConnect()->isEnabled(), !countDown);
        QCOMPARE(f.form.timNotice.isActive(), countDown);
        QCOMPARE(f.form.timNotice.interval(), 1000);
        QVERIFY(QTest::qWaitForWindowActive(&f.form));
        QStringList visited { QApplication::focusWidget()->objectName() };
        while (visited.size() < focusOrder.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, focusOrder);
    });
}

void tst_frmLogin::noticeTextAndEveryTextFits()
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
    whileOpen(f, true, [&] { QCOMPARE(f.form.findChild<QLabel*>(QStringLiteral("lblNotice"))->text(), expected); });
}

void tst_frmLogin::countdown()
{
    Fixture& f = *m_f;
    whileOpen(f, true, [&] {
        f.form.timNotice.stop(); // driven tick by tick below
        QStringList states { f.cmdConnect()->text() + (f.cmdConnect()->isEnabled() ? " on " : " off ")
                             + QString::number(f.form.lngSecondsLeft) };
        for (int tick = 1; tick <= 11; ++tick) {
            if (tick == 5)
                f.field("txtDB")->setText(QStringLiteral("typed meanwhile"));
            QTest::mouseClick(f.cmdConnect(), Qt::LeftButton);
            f.form.timNotice_Timer();
            states.append(f.cmdConnect()->text() + (f.cmdConnect()->isEnabled() ? " on " : " off ")
                          + QString::number(f.form.lngSecondsLeft));
        }
        QCOMPARE(states,
                 QStringList({ "(10 sec.) off 10", "(10 sec.) off 9", "(9 sec.) off 8", "(8 sec.) off 7",
                               "(7 sec.) off 6", "(6 sec.) off 5", "(5 sec.) off 4", "(4 sec.) off 3", "(3 sec.) off 2",
                               "(2 sec.) off 1", "(1 sec.) off 0", "CONNECT on 0" }));
        QVERIFY(f.messages.texts.isEmpty()); // the clicks on the disabled button did nothing
    });
}

void tst_frmLogin::blankFields_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("checked");
    QTest::newRow("all blank: server first") << ""
                                             << ""
                                             << "" << kServerBlank << false;
    QTest::newRow("server blank") << ""
                                  << "NAV"
                                  << "u" << kServerBlank << false;
    QTest::newRow("database before user") << "S"
                                          << ""
                                          << ""
                                          << "The Database field was left blank." << false;
    QTest::newRow("user blank") << "S"
                                << "NAV"
                                << ""
                                << "The Username field was left blank." << false;
    QTest::newRow("blanks only are not blank") << " "
                                               << " "
                                               << " " << kNotNavision << true;
}

void tst_frmLogin::blankFields()
{
    QFETCH(QString, server);
    QFETCH(QString, database);
    QFETCH(QString, user);
    QFETCH(QString, message);
    QFETCH(bool, checked);
    Fixture& f = *m_f;
    whileOpen(f, false, [&] {
        f.fill(server, database, user);
        f.cmdConnect()->click();
    });
    QCOMPARE(f.messages.texts, QStringList { message });
    QCOMPARE(f.database.events.isEmpty(), !checked);
    QCOMPARE(m_settings.values.value(QStringLiteral("Settings/Server"), QStringLiteral("unsaved")), server);
    QCOMPARE(m_settings.values.value(QStringLiteral("Settings/DB"), QStringLiteral("unsaved")), database);
    QCOMPARE(m_settings.values.value(QStringLiteral("Settings/User"), QStringLiteral("unsaved")), user);
}

void tst_frmLogin::connect_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<qint32>("openFailure");
    QTest::addColumn<QString>("message");
    QTest::newRow("Navision database") << 1 << 0 << QString();
    QTest::newRow("not a Navision database") << 0 << 0 << kNotNavision;
    QTest::newRow("login refused") << 0 << static_cast<qint32>(0x80040E4Du)
                                   << QStringLiteral("The Login information entered was invalid.");
}

void tst_frmLogin::connect()
{
    QFETCH(int, rows);
    QFETCH(qint32, openFailure);
    QFETCH(QString, message);
    Fixture& f = *m_f;
    if (openFailure != 0)
        f.database.openFailure = Failure(openFailure, QStringLiteral("Login failed for user 'navuser'."));
    f.database.respond = [&](const QString&) {
        test::FakeResult result;
        for (int row = 0; row < rows; ++row)
            result.rows.append({ QStringLiteral("navuser"), QStringLiteral("0x01") });
        return result;
    };
    const QString expected = builtString("SRV01", "NAV", "navuser", "s3cret");

    whileOpen(f, false, [&] {
        f.fill(QStringLiteral("SRV01"), QStringLiteral("NAV"), QStringLiteral("navuser"), QStringLiteral("s3cret"));
        f.cmdConnect()->click();
        if (message.isEmpty())
            return;
        QVERIFY(f.form.isVisible());
        QCOMPARE(f.txtConnect()->toPlainText(), builtString("SRV01", "NAV", "navuser", "%PW%"));
        QCOMPARE(f.field("txtPW")->text(), QStringLiteral("s3cret"));
    });
    QCOMPARE(f.database.events.value(0), QStringLiteral("OPEN ") + expected);
    QCOMPARE(f.messages.texts, message.isEmpty() ? QStringList() : QStringList { message });
    QCOMPARE(f.gstrConnectPass, message.isEmpty() ? expected : QString());
    QCOMPARE(f.form.result(), message.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
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
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<bool>("clicks");
    QTest::addColumn<bool>("lineBreak");
    QTest::newRow("field, counting") << "txtServer" << true << false << false << false;
    QTest::newRow("field, ready") << "txtPW" << false << false << true << false;
    QTest::newRow("connection string, counting") << "txtConnect" << true << false << false << false;
    QTest::newRow("connection string, ready") << "txtConnect" << false << false << true << false;
    QTest::newRow("Ctrl+Enter in the connection string") << "txtConnect" << false << true << false << true;
}

void tst_frmLogin::enterKey()
{
    QFETCH(QString, control);
    QFETCH(bool, countDown);
    QFETCH(bool, ctrl);
    QFETCH(bool, clicks);
    QFETCH(bool, lineBreak);
    Fixture& f = *m_f;
    whileOpen(f, countDown, [&] {
        QTest::keyClick(f.form.findChild<QWidget*>(control), Qt::Key_Return,
                        ctrl ? Qt::ControlModifier : Qt::NoModifier);
        QCOMPARE(f.txtConnect()->toPlainText().contains(QLatin1Char('\n')), lineBreak);
    });
    QCOMPARE(f.messages.texts, clicks ? QStringList { kServerBlank } : QStringList());
}

void tst_frmLogin::closingHandsNothingOn()
{
    Fixture& f = *m_f;
    whileOpen(f, true, [&] {
        f.fill(QStringLiteral("S"), QStringLiteral("NAV"), QStringLiteral("u"), QStringLiteral("pw"));
        QTest::keyClick(f.field("txtServer"), Qt::Key_Escape); // no Cancel button: Escape keeps it open
        QVERIFY(f.form.isVisible());
        f.form.close();
    });
    QVERIFY(f.gstrConnectPass.isEmpty());
    QVERIFY(m_settings.values.isEmpty());
    QVERIFY(f.messages.texts.isEmpty());
    QVERIFY(!f.form.timNotice.isActive());
}

void tst_frmLogin::settingsFailuresAreReported()
{
    m_settings.failure = Failure(70, QStringLiteral("Permission denied"));
    Fixture& f = *m_f;
    whileOpen(f, false, [&] {
        // The load went on after the failed restore.
        QCOMPARE(f.txtConnect()->toPlainText(), builtString("", "", "", "%PW%"));
        QVERIFY(f.cmdConnect()->isEnabled());
        f.cmdConnect()->click();
    });
    QCOMPARE(f.reportedSources(), QStringList({ "frmLogin::SetValuesfromReg", "frmLogin::SaveValuestoReg" }));
    QCOMPARE(f.messages.texts, QStringList({ kReported, kReported, kServerBlank }));
}

void tst_frmLogin::savedFieldsComeBackAndPasswordIsInNoFile()
{
    const QString password = QStringLiteral(" pw;=' s3cret ");
    QtSettingsStore store(QStringLiteral("Quorvane"));
    {
        Fixture f(store);
        f.database.openFailure = Failure(static_cast<qint32>(0x80004005u), QStringLiteral("unreachable"));
        whileOpen(f, false, [&] {
            f.fill(QStringLiteral(" SRV01 "), QStringLiteral("NAV"), QStringLiteral("nav user"), password);
            f.cmdConnect()->click();
        });
        QCOMPARE(f.database.events.value(0), "OPEN " + builtString(" SRV01 ", "NAV", "nav user", '"' + password + '"'));
        QVERIFY(QFile::exists(store.fileName()));
        for (const QString& root : { m_configHome.path(), f.folder.path() }) {
            QDirIterator files(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                QFile file(files.next());
                QVERIFY(file.open(QIODevice::ReadOnly));
                const QByteArray bytes = file.readAll();
                QVERIFY2(!bytes.contains("s3cret") && !bytes.contains(QByteArray("s\0003\000c", 5)),
                         qPrintable(file.fileName()));
            }
        }
    }
    Fixture f(store);
    whileOpen(f, true, [&] {
        QCOMPARE(f.field("txtServer")->text(), QStringLiteral(" SRV01 "));
        QCOMPARE(f.field("txtDB")->text(), QStringLiteral("NAV"));
        QCOMPARE(f.field("txtUser")->text(), QStringLiteral("nav user"));
        QVERIFY(f.field("txtPW")->text().isEmpty());
        QCOMPARE(f.txtConnect()->toPlainText(), builtString(" SRV01 ", "NAV", "nav user", "%PW%"));
    });
}

QTEST_MAIN(tst_frmLogin)
#include "tst_frmLogin.moc"
