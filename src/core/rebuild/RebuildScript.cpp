#include "rebuild/RebuildScript.h"

#include "rebuild/RebuildPlan.h"

#include <QStringList>

namespace quorvane {

namespace {

    // Text for a "--" comment: a line break inside a name would end the comment early.
    QString commentText(QString text)
    {
        text.replace(QLatin1Char('\r'), QLatin1Char(' '));
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        return text;
    }

    QString keyName(const ScriptKey& key)
    {
        return commentText(key.table + QStringLiteral(" (") + key.constraint + QLatin1Char(')'));
    }

} // namespace

QString rebuildScript(db::Connection& connection, const ScriptHeader& header, const QList<ScriptKey>& keys)
{
    QStringList lines {
        QStringLiteral("-- Primary keys re-created as clustered primary keys"),
        QStringLiteral("-- Server: ") + commentText(header.server),
        QStringLiteral("-- Database: ") + commentText(header.database),
        QStringLiteral("-- Time: ") + header.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
        QStringLiteral("SET XACT_ABORT ON"),
        QStringLiteral("GO"),
    };
    for (const ScriptKey& key : keys) {
        if (key.details && key.details->refusals) {
            lines.append(QStringLiteral("-- Left out ") + keyName(key) + QStringLiteral(": ")
                         + refusalText(key.details->refusals));
            continue;
        }
        const RebuildPlan plan = planRebuild(connection, key.table, key.constraint);
        if (plan.skipped()) {
            lines.append(QStringLiteral("-- Left out ") + keyName(key) + QStringLiteral(": ")
                         + commentText(plan.skipReason));
            continue;
        }
        lines.append(QStringLiteral("-- ") + keyName(key) + QStringLiteral(", key columns ")
                     + commentText(plan.columnList));
        lines.append(QStringLiteral("BEGIN TRANSACTION"));
        lines.append(plan.drop);
        lines.append(plan.add);
        lines.append(QStringLiteral("COMMIT TRANSACTION"));
        lines.append(QStringLiteral("GO"));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace quorvane
