#pragma once

#include <QJsonObject>
#include <QString>

namespace standin {

struct GeneratorOptions
{
    int companies = 1;
    int tablesPerCompany = 100;
    int clusteredPercent = 10; // share of primary keys that are already clustered
    QString database = QStringLiteral("CRONUS");
    QString login = QStringLiteral("navuser");
    QString password = QStringLiteral("Demo#2006");
};

// A fixture named as Navision names things: companies x tables, tables "<Company>$<Table>",
// primary keys "<Company>$<Table>$0", a timestamp column and NOT NULL key columns; the per-user
// table holds the login's user.
QJsonObject generateFixture(const GeneratorOptions& options);

} // namespace standin
