#include "terminal/ProgressBar.h"

#include <QTest>

using namespace quorvane::cli;

namespace {

QString bar(int filled, int empty)
{
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(empty, QLatin1Char('.')) + QLatin1Char(']');
}

} // namespace

class tst_ProgressBar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void line_data();
    void line();
    void notDrawnOffATerminal();
};

void tst_ProgressBar::line_data()
{
    QTest::addColumn<int>("done");
    QTest::addColumn<int>("total");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("expected");

    // The bar takes what the figures leave.
    QTest::newRow("nothing done yet") << 0 << 40 << qint64(500) << 66
                                      << bar(0, 30) + " 0/40  0:00:00 elapsed  estimating";
    QTest::newRow("a quarter after a minute")
        << 10 << 40 << qint64(60000) << 66 << bar(6, 20) + " 10/40  0:01:00 elapsed  ~0:03:00 left";
    QTest::newRow("all done") << 40 << 40 << qint64(3723000) << 66
                              << bar(26, 0) + " 40/40  1:02:03 elapsed  ~0:00:00 left";
    QTest::newRow("nothing chosen") << 0 << 0 << qint64(0) << 66 << bar(0, 31) + " 0/0  0:00:00 elapsed  estimating";
    QTest::newRow("narrow") << 123456 << 999999 << qint64(999999999) << 10 << "[] 123456/";
    QTest::newRow("a line short of 80") << 123456 << 999999 << qint64(999999999) << 79
                                        << bar(3, 23) + " 123456/999999  277:46:39 elapsed  ~1972:14:03 left";
}

void tst_ProgressBar::line()
{
    QFETCH(int, done);
    QFETCH(int, total);
    QFETCH(qint64, elapsedMs);
    QFETCH(int, width);
    QFETCH(QString, expected);
    QCOMPARE(progressLine(done, total, elapsedMs, width), expected);
}

void tst_ProgressBar::notDrawnOffATerminal()
{
    // Neither on a file nor on the null device, a character device that Windows's _isatty() takes
    // for a terminal.
#ifdef Q_OS_WIN
    std::FILE* nullDevice = std::fopen("NUL", "w");
#else
    std::FILE* nullDevice = std::fopen("/dev/null", "w");
#endif
    std::FILE* file = std::tmpfile();
    QVERIFY(file && nullDevice);
    QVERIFY(!ProgressBar(nullDevice, 3).isShown());
    ProgressBar bar(file, 3);
    QVERIFY(!bar.isShown());
    bar.setDone(1);
    bar.draw();
    bar.clear();
    QCOMPARE(std::ftell(file), 0L);
    std::fclose(file);
    std::fclose(nullDevice);
}

QTEST_GUILESS_MAIN(tst_ProgressBar)
#include "tst_progressbar.moc"
