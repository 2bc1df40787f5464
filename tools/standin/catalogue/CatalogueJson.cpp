#include "catalogue/CatalogueJson.h"

#include "catalogue/CodePage.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace standin {

namespace {
    QString text(const QJsonObject& object, const char* key, const QString& fallback = {})
    {
        return object.value(QLatin1String(key)).toString(fallback);
    }

    // Sids are written as "0x" followed by hex digits, as SQL Server prints them.
    std::optional<QByteArray> sidFromText(const QString& sid)
    {
        QString digits = sid;
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            digits = digits.mid(2);
        const QByteArray bytes = QByteArray::fromHex(digits.toLatin1());
        if (digits.size() % 2 != 0 || bytes.toHex().size() != digits.size())
            return std::nullopt;
        return bytes;
    }

    QString sidToText(const QByteArray& sid)
    {
        return QStringLiteral("0x") + QString::fromLatin1(sid.toHex().toUpper());
    }

    Table tableFromJson(const QJsonObject& object)
    {
        Table table;
        table.schema = text(object, "schema", QStringLiteral("dbo"));
        table.name = text(object, "name");
        table.rows = object.value(QLatin1String("rows")).toInteger(0);
        table.reservedKb = object.value(QLatin1String("reserved_kb")).toInteger(0);
        table.filegroup = text(object, "filegroup", QStringLiteral("PRIMARY"));
        table.partitionScheme = text(object, "partition_scheme");
        for (const QJsonValue& value : object.value(QLatin1String("columns")).toArray()) {
            const QJsonObject column = value.toObject();
            table.columns.append({ text(column, "name"), column.value(QLatin1String("nullable")).toBool(true) });
        }
        const QJsonValue key = object.value(QLatin1String("primary_key"));
        if (key.isObject()) {
            const QJsonObject k = key.toObject();
            PrimaryKey primaryKey;
            primaryKey.name = text(k, "name");
            primaryKey.clustered = k.value(QLatin1String("clustered")).toBool(false);
            for (const QJsonValue& value : k.value(QLatin1String("columns")).toArray()) {
                if (value.isString()) {
                    primaryKey.columns.append({ value.toString(), false });
                    continue;
                }
                const QJsonObject column = value.toObject();
                primaryKey.columns.append(
                    { text(column, "name"), column.value(QLatin1String("descending")).toBool(false) });
            }
            table.primaryKey = primaryKey;
        }
        for (const QJsonValue& value : object.value(QLatin1String("indexes")).toArray()) {
            const QJsonObject i = value.toObject();
            Index index { text(i, "name"), i.value(QLatin1String("clustered")).toBool(false), {} };
            for (const QJsonValue& column : i.value(QLatin1String("columns")).toArray())
                index.columns.append(column.toString());
            table.indexes.append(index);
        }
        for (const QJsonValue& value : object.value(QLatin1String("foreign_keys")).toArray()) {
            const QJsonObject f = value.toObject();
            const QJsonObject references = f.value(QLatin1String("references")).toObject();
            ForeignKey foreignKey {
                text(f, "name"), {}, text(references, "schema", QStringLiteral("dbo")), text(references, "table")
            };
            for (const QJsonValue& column : f.value(QLatin1String("columns")).toArray())
                foreignKey.columns.append(column.toString());
            table.foreignKeys.append(foreignKey);
        }
        return table;
    }

    QJsonObject tableToJson(const Table& table)
    {
        QJsonObject object;
        object.insert(QLatin1String("schema"), table.schema);
        object.insert(QLatin1String("name"), table.name);
        if (table.rows != 0)
            object.insert(QLatin1String("rows"), table.rows);
        if (table.reservedKb != 0)
            object.insert(QLatin1String("reserved_kb"), table.reservedKb);
        if (table.partitionScheme.isEmpty())
            object.insert(QLatin1String("filegroup"), table.filegroup);
        else
            object.insert(QLatin1String("partition_scheme"), table.partitionScheme);
        QJsonArray columns;
        for (const Column& column : table.columns)
            columns.append(
                QJsonObject { { QLatin1String("name"), column.name }, { QLatin1String("nullable"), column.nullable } });
        object.insert(QLatin1String("columns"), columns);
        if (table.primaryKey) {
            QJsonArray keyColumns;
            for (const KeyColumn& column : table.primaryKey->columns)
                keyColumns.append(QJsonObject { { QLatin1String("name"), column.name },
                                                { QLatin1String("descending"), column.descending } });
            object.insert(QLatin1String("primary_key"),
                          QJsonObject { { QLatin1String("name"), table.primaryKey->name },
                                        { QLatin1String("clustered"), table.primaryKey->clustered },
                                        { QLatin1String("columns"), keyColumns } });
        }
        if (!table.indexes.isEmpty()) {
            QJsonArray indexes;
            for (const Index& index : table.indexes)
                indexes.append(QJsonObject { { QLatin1String("name"), index.name },
                                             { QLatin1String("clustered"), index.clustered },
                                             { QLatin1String("columns"), QJsonArray::fromStringList(index.columns) } });
            object.insert(QLatin1String("indexes"), indexes);
        }
        if (!table.foreignKeys.isEmpty()) {
            QJsonArray keys;
            for (const ForeignKey& key : table.foreignKeys)
                keys.append(QJsonObject { { QLatin1String("name"), key.name },
                                          { QLatin1String("columns"), QJsonArray::fromStringList(key.columns) },
                                          { QLatin1String("references"),
                                            QJsonObject { { QLatin1String("schema"), key.referencedSchema },
                                                          { QLatin1String("table"), key.referencedTable } } } });
            object.insert(QLatin1String("foreign_keys"), keys);
        }
        return object;
    }

    std::optional<Fault> faultFromJson(const QJsonObject& object, QString& error)
    {
        Fault fault;
        fault.database = text(object, "database");
        fault.table = text(object, "table");
        fault.statement = text(object, "statement");
        static const QStringList kinds
            = { QStringLiteral("check"),       QStringLiteral("primary_keys"), QStringLiteral("key_details"),
                QStringLiteral("key_columns"), QStringLiteral("drop"),         QStringLiteral("add"),
                QStringLiteral("begin"),       QStringLiteral("commit"),       QStringLiteral("rollback") };
        if (!kinds.contains(fault.statement)) {
            error = QStringLiteral("fault with unknown statement \"%1\"").arg(fault.statement);
            return std::nullopt;
        }
        if (object.value(QLatin1String("error")).isObject()) {
            const QJsonObject e = object.value(QLatin1String("error")).toObject();
            fault.error
                = SqlMessage { e.value(QLatin1String("number")).toInt(50000), e.value(QLatin1String("state")).toInt(1),
                               e.value(QLatin1String("class")).toInt(16), text(e, "message") };
        }
        fault.delayMs = object.value(QLatin1String("delay_ms")).toInt(0);
        fault.disconnect = object.value(QLatin1String("disconnect")).toBool(false);
        fault.disconnectAfter = object.value(QLatin1String("disconnect_after")).toBool(false);
        if (!fault.error && fault.delayMs <= 0 && !fault.disconnect && !fault.disconnectAfter) {
            error = QStringLiteral("fault on \"%1\" has neither error, delay_ms nor disconnect").arg(fault.statement);
            return std::nullopt;
        }
        if (object.contains(QLatin1String("times"))) {
            fault.times = object.value(QLatin1String("times")).toInt(0);
            if (*fault.times < 1) {
                error = QStringLiteral("fault on \"%1\" has \"times\" below 1").arg(fault.statement);
                return std::nullopt;
            }
        }
        return fault;
    }

    std::optional<DatabaseStorage> storageFromJson(const QJsonObject& database, QString& error)
    {
        DatabaseStorage storage;
        storage.collation = text(database, "collation", storage.collation);
        if (!codePageOf(storage.collation)) {
            error = QStringLiteral("database \"%1\" has a collation the stand-in does not know: %2")
                        .arg(text(database, "name"), storage.collation);
            return std::nullopt;
        }
        for (const QJsonValue& value : database.value(QLatin1String("filegroups")).toArray()) {
            const QJsonObject filegroup = value.toObject();
            storage.filegroups.append({ text(filegroup, "name"), filegroup.value(QLatin1String("default")).toBool(),
                                        filegroup.value(QLatin1String("full")).toBool() });
        }
        return storage;
    }

    QJsonArray filegroupsToJson(const Database& database)
    {
        QJsonArray filegroups;
        for (const Filegroup& filegroup : database.filegroups())
            filegroups.append(QJsonObject { { QLatin1String("name"), filegroup.name },
                                            { QLatin1String("default"), filegroup.isDefault },
                                            { QLatin1String("full"), filegroup.full } });
        return filegroups;
    }

    QJsonObject faultToJson(const Fault& fault)
    {
        QJsonObject object;
        if (!fault.database.isEmpty())
            object.insert(QLatin1String("database"), fault.database);
        if (!fault.table.isEmpty())
            object.insert(QLatin1String("table"), fault.table);
        object.insert(QLatin1String("statement"), fault.statement);
        if (fault.error)
            object.insert(QLatin1String("error"),
                          QJsonObject { { QLatin1String("number"), fault.error->number },
                                        { QLatin1String("state"), fault.error->state },
                                        { QLatin1String("class"), fault.error->severity },
                                        { QLatin1String("message"), fault.error->text } });
        if (fault.delayMs > 0)
            object.insert(QLatin1String("delay_ms"), fault.delayMs);
        if (fault.disconnect)
            object.insert(QLatin1String("disconnect"), true);
        if (fault.times)
            object.insert(QLatin1String("times"), *fault.times);
        if (fault.disconnectAfter)
            object.insert(QLatin1String("disconnect_after"), true);
        return object;
    }

    OtherSession otherSessionFromJson(const QString& database, const QJsonObject& object)
    {
        OtherSession session { database,
                               object.value(QLatin1String("session_id")).toInt(),
                               text(object, "host"),
                               text(object, "login"),
                               text(object, "program"),
                               {},
                               {} };
        for (const QJsonValue& table : object.value(QLatin1String("locks")).toArray())
            session.locks.append(table.toString());
        if (object.contains(QLatin1String("hold_ms")))
            session.holdMs = object.value(QLatin1String("hold_ms")).toInt();
        return session;
    }

    QJsonObject otherSessionToJson(const OtherSession& session)
    {
        QJsonObject object { { QLatin1String("session_id"), session.sessionId },
                             { QLatin1String("host"), session.host },
                             { QLatin1String("login"), session.login },
                             { QLatin1String("program"), session.program },
                             { QLatin1String("locks"), QJsonArray::fromStringList(session.locks) } };
        if (session.holdMs)
            object.insert(QLatin1String("hold_ms"), *session.holdMs);
        return object;
    }
} // namespace

std::optional<Catalogue> catalogueFromJson(const QJsonObject& json, QString& error)
{
    Catalogue catalogue;
    for (const QJsonValue& value : json.value(QLatin1String("logins")).toArray()) {
        const QJsonObject login = value.toObject();
        catalogue.logins.append({ text(login, "name"), text(login, "password"), text(login, "default_database"),
                                  login.value(QLatin1String("windows")).toBool(),
                                  login.value(QLatin1String("view_server_state")).toBool(true) });
    }
    for (const QJsonValue& value : json.value(QLatin1String("databases")).toArray()) {
        const QJsonObject database = value.toObject();
        const QString name = text(database, "name");
        if (name.isEmpty()) {
            error = QStringLiteral("a database without a name");
            return std::nullopt;
        }
        QList<User> users;
        for (const QJsonValue& u : database.value(QLatin1String("users")).toArray()) {
            const QJsonObject user = u.toObject();
            const auto sid = sidFromText(text(user, "sid"));
            if (!sid) {
                error = QStringLiteral("user \"%1\" has a sid that is not hex").arg(text(user, "name"));
                return std::nullopt;
            }
            users.append({ text(user, "name"), *sid });
        }
        std::optional<QList<QByteArray>> navisionSids;
        const QJsonValue navision = database.value(QLatin1String("navision_user_table"));
        if (navision.isObject()) {
            navisionSids.emplace();
            for (const QJsonValue& s : navision.toObject().value(QLatin1String("sids")).toArray()) {
                const auto sid = sidFromText(s.toString());
                if (!sid) {
                    error = QStringLiteral("navision_user_table of \"%1\" has a sid that is not hex").arg(name);
                    return std::nullopt;
                }
                navisionSids->append(*sid);
            }
        }
        const QJsonArray tableArray = database.value(QLatin1String("tables")).toArray();
        std::vector<Table> tables;
        tables.reserve(static_cast<size_t>(tableArray.size()));
        for (const QJsonValue& t : tableArray)
            tables.push_back(tableFromJson(t.toObject()));
        for (const QJsonValue& session : database.value(QLatin1String("sessions")).toArray())
            catalogue.sessions.append(otherSessionFromJson(name, session.toObject()));
        auto storage = storageFromJson(database, error);
        if (!storage)
            return std::nullopt;
        catalogue.databases.emplace_back(name, std::move(users), std::move(navisionSids), std::move(tables),
                                         std::move(*storage));
        const Database& added = catalogue.databases.back();
        for (const Table& table : added.tables()) {
            if (table.partitionScheme.isEmpty() && !added.findFilegroup(table.filegroup)) {
                error = QStringLiteral("table \"%1\" is on filegroup \"%2\", which database \"%3\" does not have")
                            .arg(table.name, table.filegroup, name);
                return std::nullopt;
            }
        }
    }
    for (const QJsonValue& value : json.value(QLatin1String("faults")).toArray()) {
        const auto fault = faultFromJson(value.toObject(), error);
        if (!fault)
            return std::nullopt;
        catalogue.faults.append(*fault);
    }
    return catalogue;
}

std::optional<Catalogue> loadCatalogue(const QString& path, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        error = QStringLiteral("%1 is not a JSON object: %2 at offset %3")
                    .arg(path, parseError.errorString())
                    .arg(parseError.offset);
        return std::nullopt;
    }
    return catalogueFromJson(document.object(), error);
}

QJsonObject catalogueToJson(const Catalogue& catalogue, const TableOverrides& overrides)
{
    QJsonArray logins;
    for (const Login& login : catalogue.logins) {
        QJsonObject object { { QLatin1String("name"), login.name }, { QLatin1String("password"), login.password } };
        if (!login.defaultDatabase.isEmpty())
            object.insert(QLatin1String("default_database"), login.defaultDatabase);
        if (login.windows)
            object.insert(QLatin1String("windows"), true);
        if (!login.viewServerState)
            object.insert(QLatin1String("view_server_state"), false);
        logins.append(object);
    }
    QJsonArray databases;
    for (int d = 0; d < static_cast<int>(catalogue.databases.size()); ++d) {
        const Database& database = catalogue.databases[static_cast<size_t>(d)];
        QJsonArray users;
        for (const User& user : database.users())
            users.append(
                QJsonObject { { QLatin1String("name"), user.name }, { QLatin1String("sid"), sidToText(user.sid) } });
        QJsonValue navision;
        if (database.navisionSids()) {
            QJsonArray sids;
            for (const QByteArray& sid : *database.navisionSids())
                sids.append(sidToText(sid));
            navision = QJsonObject { { QLatin1String("sids"), sids } };
        }
        QJsonArray tables;
        for (int t = 0; t < static_cast<int>(database.tables().size()); ++t) {
            const auto overridden = overrides.constFind({ d, t });
            tables.append(tableToJson(overridden != overrides.constEnd() ? *overridden : database.table(t)));
        }
        QJsonObject object { { QLatin1String("name"), database.name() },
                             { QLatin1String("collation"), database.collation() },
                             { QLatin1String("filegroups"), filegroupsToJson(database) },
                             { QLatin1String("users"), users },
                             { QLatin1String("navision_user_table"), navision },
                             { QLatin1String("tables"), tables } };
        QJsonArray sessions;
        for (const OtherSession& session : catalogue.sessions)
            if (session.database == database.name())
                sessions.append(otherSessionToJson(session));
        if (!sessions.isEmpty())
            object.insert(QLatin1String("sessions"), sessions);
        databases.append(object);
    }
    QJsonArray faults;
    for (const Fault& fault : catalogue.faults)
        if (!fault.usedUp())
            faults.append(faultToJson(fault));
    return QJsonObject { { QLatin1String("logins"), logins },
                         { QLatin1String("databases"), databases },
                         { QLatin1String("faults"), faults } };
}

bool saveCatalogue(const QString& path, const QJsonObject& json, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    file.write(QJsonDocument(json).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace standin
