#include "command/CommandLine.h"

#include <QCommandLineParser>

namespace quorvane::cli {

namespace {

    const QString kServer = QStringLiteral("server");
    const QString kDatabase = QStringLiteral("database");
    const QString kUser = QStringLiteral("user");
    const QString kConnect = QStringLiteral("connect");
    const QString kPasswordStdin = QStringLiteral("password-stdin");
    const QString kFormat = QStringLiteral("format");
    const QString kNotClustered = QStringLiteral("not-clustered");
    const QString kAll = QStringLiteral("all");
    const QString kKey = QStringLiteral("key");
    const QString kLogFile = QStringLiteral("log-file");
    const QString kErrorLog = QStringLiteral("error-log");
    const QString kLockTimeout = QStringLiteral("lock-timeout");
    const QString kHelp = QStringLiteral("help");
    const QString kVersion = QStringLiteral("version");

    ParsedCommandLine usageError(const QString& text)
    {
        ParsedCommandLine parsed;
        parsed.kind = ParsedCommandLine::Kind::UsageError;
        parsed.error = text;
        return parsed;
    }

    std::optional<Command> commandNamed(const QString& name)
    {
        if (name == QLatin1String("list"))
            return Command::List;
        if (name == QLatin1String("script"))
            return Command::Script;
        if (name == QLatin1String("run"))
            return Command::Run;
        return std::nullopt;
    }

    std::optional<ListFormat> formatNamed(const QString& name)
    {
        if (name == QLatin1String("text"))
            return ListFormat::Text;
        if (name == QLatin1String("csv"))
            return ListFormat::Csv;
        if (name == QLatin1String("json"))
            return ListFormat::Json;
        return std::nullopt;
    }

    void addOptions(QCommandLineParser& parser)
    {
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
        parser.addOptions({
            { kServer, QString(), QStringLiteral("host") },
            { kDatabase, QString(), QStringLiteral("database") },
            { kUser, QString(), QStringLiteral("user") },
            { kConnect, QString(), QStringLiteral("string") },
            { kPasswordStdin, QString() },
            { kFormat, QString(), QStringLiteral("format") },
            { kNotClustered, QString() },
            { kAll, QString() },
            { kKey, QString(), QStringLiteral("constraint") },
            { kLogFile, QString(), QStringLiteral("path") },
            { kErrorLog, QString(), QStringLiteral("path") },
            { kLockTimeout, QString(), QStringLiteral("seconds") },
            { { QStringLiteral("h"), kHelp }, QString() },
            { kVersion, QString() },
        });
    }

    // The connection options: either --connect alone or all three fields.
    std::optional<QString> readConnection(const QCommandLineParser& parser, CliOptions& options)
    {
        const bool anyField = parser.isSet(kServer) || parser.isSet(kDatabase) || parser.isSet(kUser);
        if (parser.isSet(kConnect)) {
            if (anyField)
                return QStringLiteral("--connect cannot be combined with --server, --database or --user.");
            options.connect = parser.value(kConnect);
            if (!options.connect->contains(QLatin1String("%PW%")))
                return QStringLiteral("The --connect string must hold %PW% where the password goes; the password "
                                      "is never given on the command line.");
            return std::nullopt;
        }
        if (!anyField)
            return QStringLiteral("Name the server, database and user (--server, --database, --user) or give "
                                  "--connect.");
        options.server = parser.value(kServer);
        options.database = parser.value(kDatabase);
        options.user = parser.value(kUser);
        // The login window's tests and texts: a length of zero counts as blank, blanks do not.
        if (options.server.isEmpty())
            return QStringLiteral("The Server field was left blank.");
        if (options.database.isEmpty())
            return QStringLiteral("The Database field was left blank.");
        if (options.user.isEmpty())
            return QStringLiteral("The Username field was left blank.");
        return std::nullopt;
    }

    std::optional<QString> readKeyChoice(const QCommandLineParser& parser, CliOptions& options)
    {
        const int given
            = (parser.isSet(kNotClustered) ? 1 : 0) + (parser.isSet(kAll) ? 1 : 0) + (parser.isSet(kKey) ? 1 : 0);
        if (given > 1)
            return QStringLiteral("Choose the keys with one of --not-clustered, --all or --key.");
        if (parser.isSet(kAll))
            options.keys = KeyChoice::All;
        if (parser.isSet(kKey)) {
            options.keys = KeyChoice::Named;
            options.keyNames = parser.values(kKey);
        }
        return std::nullopt;
    }

    // An option that belongs to another command.
    std::optional<QString> refuseForeignOptions(const QCommandLineParser& parser, Command command)
    {
        const auto refuse = [&](const QString& option, const char* commands) -> std::optional<QString> {
            if (parser.isSet(option))
                return QStringLiteral("--%1 belongs to %2.").arg(option, QLatin1String(commands));
            return std::nullopt;
        };
        if (command != Command::List)
            if (auto error = refuse(kFormat, "list"))
                return error;
        if (command == Command::List)
            for (const QString& option : { kNotClustered, kAll, kKey })
                if (auto error = refuse(option, "script and run"))
                    return error;
        if (command != Command::Run)
            for (const QString& option : { kLogFile, kErrorLog })
                if (auto error = refuse(option, "run"))
                    return error;
        return std::nullopt;
    }

} // namespace

ParsedCommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    addOptions(parser);
    // QCommandLineParser skips the first argument as the program's name.
    if (!parser.parse(QStringList { QStringLiteral("quorvane-cli") } + arguments)) {
        // Its texts name the option, never a value.
        QString error = parser.errorText();
        for (const QString& name : parser.unknownOptionNames())
            if (name.contains(QLatin1String("pass"), Qt::CaseInsensitive)
                || name.compare(QLatin1String("pw"), Qt::CaseInsensitive) == 0) {
                error += QStringLiteral(" The password is never an option: type it when asked, or use "
                                        "--password-stdin or QUORVANE_PASSWORD.");
                break;
            }
        return usageError(error);
    }

    ParsedCommandLine parsed;
    if (parser.isSet(kHelp)) {
        parsed.kind = ParsedCommandLine::Kind::Help;
        return parsed;
    }
    if (parser.isSet(kVersion)) {
        parsed.kind = ParsedCommandLine::Kind::Version;
        return parsed;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("Name a command: list, script or run."));
    const std::optional<Command> command = commandNamed(positional.front());
    if (!command)
        return usageError(QStringLiteral("Unknown command; the commands are list, script and run."));
    if (positional.size() > 1)
        return usageError(QStringLiteral("Unexpected argument after the command; every value belongs to an option."));

    CliOptions& options = parsed.options;
    options.command = *command;
    if (auto error = refuseForeignOptions(parser, options.command))
        return usageError(*error);
    if (auto error = readConnection(parser, options))
        return usageError(*error);
    if (auto error = readKeyChoice(parser, options))
        return usageError(*error);
    if (parser.isSet(kFormat)) {
        const std::optional<ListFormat> format = formatNamed(parser.value(kFormat));
        if (!format)
            return usageError(QStringLiteral("--format takes text, csv or json."));
        options.format = *format;
    }
    options.passwordFromStdin = parser.isSet(kPasswordStdin);
    options.logFile = parser.value(kLogFile);
    options.errorLog = parser.value(kErrorLog);
    if ((parser.isSet(kLogFile) && options.logFile.isEmpty())
        || (parser.isSet(kErrorLog) && options.errorLog.isEmpty()))
        return usageError(QStringLiteral("--log-file and --error-log take a file path."));
    if (parser.isSet(kLockTimeout)) {
        const std::optional<db::LockTimeout> lockTimeout = db::LockTimeout::fromText(parser.value(kLockTimeout));
        if (!lockTimeout)
            return usageError(QStringLiteral("--lock-timeout takes a number of seconds or none."));
        options.lockTimeout = *lockTimeout;
    }
    parsed.kind = ParsedCommandLine::Kind::Options;
    return parsed;
}

QString usageText()
{
    return QStringLiteral("Usage: quorvane-cli list   CONNECTION [--format text|csv|json]\n"
                          "       quorvane-cli script CONNECTION [KEYS]\n"
                          "       quorvane-cli run    CONNECTION [KEYS] [--log-file PATH] [--error-log PATH]\n"
                          "       [--lock-timeout SECONDS|none]\n"
                          "CONNECTION: --server HOST[,PORT][\\INSTANCE] --database DB --user USER\n"
                          "            | --connect \"ADO-style string with %PW%\"   [--password-stdin]\n"
                          "KEYS:       --not-clustered (default) | --all | --key CONSTRAINT (repeatable)\n"
                          "Try 'quorvane-cli --help' for more.\n");
}

QString helpText()
{
    return QStringLiteral(
        "Usage: quorvane-cli list   CONNECTION [--format text|csv|json]\n"
        "       quorvane-cli script CONNECTION [KEYS]\n"
        "       quorvane-cli run    CONNECTION [KEYS] [--log-file PATH] [--error-log PATH]\n"
        "       [--lock-timeout SECONDS|none]\n"
        "\n"
        "Re-creates the primary keys of a Navision 4.0 database on SQL Server as clustered keys,\n"
        "from a terminal, a scheduler or a review.\n"
        "\n"
        "Commands:\n"
        "  list     every primary key with schema, table, clustered, rows, reserved KB and\n"
        "           the refusal the server is expected to give, in list order\n"
        "  script   the T-SQL script that rebuilds the chosen keys, on standard output\n"
        "  run      rebuilds the chosen keys in list order, one transaction per table\n"
        "\n"
        "Connection (CONNECTION):\n"
        "  --server HOST[,PORT][\\INSTANCE]  the SQL Server\n"
        "  --database DB                    the Navision database\n"
        "  --user USER                      the SQL login (DOMAIN\\user for a Windows login)\n"
        "  --connect STRING                 instead of the three above: an ADO-style connection\n"
        "                                   string with %PW% where the password goes\n"
        "\n"
        "Password (never an option): read from the terminal without echo; or one line from\n"
        "standard input with --password-stdin; or the environment variable QUORVANE_PASSWORD.\n"
        "\n"
        "Keys (KEYS), for script and run:\n"
        "  --not-clustered    the keys that are not clustered and have no expected refusal (default)\n"
        "  --all              every key\n"
        "  --key CONSTRAINT   the key of that name; repeat for more\n"
        "\n"
        "Options:\n"
        "  --format text|csv|json   list: an 80-column table, CSV (RFC 4180) or JSON (default text)\n"
        "  --log-file PATH          run: append every statement sent, with a time stamp\n"
        "  --error-log PATH         run: where failures are recorded (default ErrorLog.txt in\n"
        "                           ~/.local/share/Quorvane)\n"
        "  --lock-timeout SECONDS   how long a statement waits for a table another session holds\n"
        "                           (default 30; none: without limit); run: a table still busy\n"
        "                           then is left as it was and named with who holds it\n"
        "  --help, --version\n"
        "\n"
        "run prints one line per key: table, tab, constraint, tab, and \"rebuilt\", \"failed: ...\",\n"
        "\"skipped: ...\" or \"busy, not changed: ...\", then a summary line. On a terminal a\n"
        "progress bar is drawn on standard error. Ctrl+C stops once the current table's\n"
        "transaction has ended; a second Ctrl+C cancels its statement and rolls it back.\n"
        "\n"
        "Exit status:\n"
        "  0   every chosen key was rebuilt or skipped (list and script: done)\n"
        "  1   a key failed or was not processed\n"
        "  2   the connection or the Navision check failed\n"
        "  64  usage error\n");
}

} // namespace quorvane::cli
