#include "support/ActivityLog.h"

#include <QTest>

using namespace quorvane;

class tst_ActivityLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void logLineStampsSecondsThenMarker_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("en_US") << "en_US" << QTime(14, 7, 9) << "3/5/24 2:07:09 PM";
        QTest::newRow("de_DE") << "de_DE" << QTime(14, 7, 9) << "05.03.24 14:07:09";
        QTest::newRow("ko_KR, AM/PM before the time") << "ko_KR" << QTime(14, 7, 9) << "24. 3. 5. 오후 2:07:09";
        QTest::newRow("bg_BG, text after the time") << "bg_BG" << QTime(14, 7, 9) << "5.03.24 г. 14:07:09 ч.";
    }

    void logLineStampsSecondsThenMarker()
    {
        QFETCH(QString, locale);
        QFETCH(QTime, time);
        QFETCH(QString, stamp);
        const QString statement = QStringLiteral("ALTER TABLE dbo.[Item] DROP CONSTRAINT [Item$0]");

        QCOMPARE(
            activityLogLine(QDateTime(QDate(2024, 3, 5), time), QStringLiteral("- DROP: "), statement, QLocale(locale)),
            stamp + "- DROP: " + statement);
    }

    void onScreenLogKeepsItsTextBounded_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("expected");
        const QString line = QStringLiteral("CRONUS$Item\tCRONUS$Item$0\r\n");
        QTest::newRow("4000 characters are kept") << QString(4000, 'x') << QString(4000, 'x') + line;
        QTest::newRow("4001 characters are cleared first") << QString(4001, 'x') << line;
    }

    void onScreenLogKeepsItsTextBounded()
    {
        QFETCH(QString, current);
        QFETCH(QString, expected);
        QCOMPARE(textWithAppendedLine(current, QStringLiteral("CRONUS$Item\tCRONUS$Item$0")), expected);
    }
};

QTEST_APPLESS_MAIN(tst_ActivityLog)
#include "tst_activitylog.moc"
