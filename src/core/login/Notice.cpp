#include "login/Notice.h"

namespace quorvane {

QString NoticeText()
{
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("This program is designed to resolve the clustered index issue in Navison 4.0 SP1, I created "
                          "this program due to the lack of solutions and information freely available.")
        + crlf + crlf
        + QStringLiteral("This program works ONLY at the SQL level; therefore Navision may still report the index as "
                         "not being clustered.")
        + crlf + crlf
        + QStringLiteral("This program Is provided 'as is', I will not be held responsible for any damages, including "
                         "any lost profits, lost savings or other incidental, consequential or special damages arising "
                         "out of the operation of this program.   Use at your own risk, and as always please have a "
                         "backup before performing any repair operation.")
        + crlf + crlf + crlf
        + QStringLiteral("You can find out more information on the Ostrevan Design Studio Development Blog.") + crlf
        + crlf + QString::fromUtf16(kBlogAddress);
}

QString CountdownCaption(qint32 lngSecondsLeft)
{
    return QLatin1Char('(') + QString::number(lngSecondsLeft) + QStringLiteral(" sec.)");
}

} // namespace quorvane
