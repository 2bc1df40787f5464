#include "catalogue/Collation.h"

#include <QCollator>
#include <QLocale>

namespace standin {

namespace {
    // Building a collator is costly; the stand-in is single-threaded and keeps one.
    const QCollator& serverCollator()
    {
        static const QCollator collator = [] {
            QCollator c { QLocale(QLocale::English, QLocale::UnitedStates) };
            c.setCaseSensitivity(Qt::CaseInsensitive);
            c.setNumericMode(false);
            c.setIgnorePunctuation(false);
            return c;
        }();
        return collator;
    }
} // namespace

QString nameKey(const QString& name)
{
    return name.toCaseFolded();
}

QCollatorSortKey sortKey(const QString& name)
{
    return serverCollator().sortKey(name);
}

int collationCompare(const QString& left, const QString& right)
{
    return serverCollator().compare(left, right);
}

} // namespace standin
