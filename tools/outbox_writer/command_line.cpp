// The command line. See command_line.h.
#include "tools/outbox_writer/command_line.h"

#include "server/db/record_page.h"

#include <QCommandLineParser>

namespace lonvera::outbox_writer {

namespace {

const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

struct Options
{
    QCommandLineOption db{QStringLiteral("db"), QString(), QStringLiteral("FILE")};
    QCommandLineOption connection{QStringLiteral("connection"), QString(),
                                  QStringLiteral("STRING")};
    QCommandLineOption to{QStringLiteral("to"), QString(), QStringLiteral("NUMBER")};
    QCommandLineOption text{QStringLiteral("text"), QString(), QStringLiteral("TEXT")};
    QCommandLineOption count{QStringLiteral("count"), QString(), QStringLiteral("N")};
    QCommandLineOption at{QStringLiteral("at"), QString(), QStringLiteral("TIME")};
    QCommandLineOption report{QStringLiteral("report")};
    QCommandLineOption list{QStringLiteral("list")};
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}};
};

// The single value of an option given at most once.
std::optional<QString> single(const QCommandLineParser &parser, const QCommandLineOption &option,
                              QString *error)
{
    const QStringList values = parser.values(option);
    if (values.size() > 1)
        *error = QStringLiteral("--%1 given twice").arg(option.names().constFirst());
    if (values.isEmpty())
        return std::nullopt;
    return values.constLast();
}

void writeText(QIODevice &device, const QString &text)
{
    device.write(text.toUtf8());
}

int fail(QIODevice &errors, const QString &reason)
{
    writeText(errors, QStringLiteral("Pelton: %1\n").arg(reason));
    return 1;
}

QString readInput(QIODevice &input)
{
    QString text = QString::fromUtf8(input.readAll());
    // A shell's echo or here-document ends the text with a line break nobody meant to send.
    if (text.endsWith(u'\n'))
        text.chop(text.endsWith(QLatin1String("\r\n")) ? 2 : 1);
    return text;
}

int runWrite(WriteCommand command, QIODevice &input, QIODevice &output, QIODevice &errors)
{
    if (command.textFromInput)
        command.request.text = readInput(input);
    db::Database database(QStringLiteral("pelton-command-line"));
    const db::OpenOutcome opened = database.open(command.connectionString);
    if (!opened.ok())
        return fail(errors, opened.description);
    const QString problem = outboxProblem(database);
    if (!problem.isEmpty())
        return fail(errors, problem);
    const WriteOutcome written = writeOutboxRows(database, command.request);
    if (!written.ok())
        return fail(errors, QStringLiteral("nothing written: %1").arg(written.error));
    QString ids;
    for (qint64 id : written.ids)
        ids += QString::number(id) + u'\n';
    writeText(output, ids);
    return 0;
}

int runList(const ListCommand &command, QIODevice &output, QIODevice &errors)
{
    db::PageRequest request;
    request.connectionString = command.connectionString;
    request.query = QStringLiteral("select * from outbox order by id");
    request.fields = {QStringLiteral("id"),       QStringLiteral("mbno"),
                      QStringLiteral("SendTime"), QStringLiteral("ComPort"),
                      QStringLiteral("report"),   QStringLiteral("msg")};
    const db::RecordPage page = db::readAllRecords(request);
    if (!page.ok())
        return fail(errors, page.error);
    QString lines;
    for (const QVariantList &row : page.rows) {
        QStringList fields;
        for (const QVariant &value : row) {
            fields << listField(value.metaType().id() == QMetaType::QDateTime
                                    ? value.toDateTime().toString(timeFormat)
                                    : value.toString());
        }
        lines += fields.join(u'\t') + u'\n';
    }
    writeText(output, lines);
    return 0;
}

} // namespace

QString usageLine()
{
    return QStringLiteral("usage: Pelton (--db FILE | --connection STRING) (--to NUMBER --text "
                          "TEXT|- [--count N] [--at \"yyyy-mm-dd hh:mm:ss\"] [--report] | --list)");
}

QString listField(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c == u'\\')
            out += QLatin1String("\\\\");
        else if (c == u'\t')
            out += QLatin1String("\\t");
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else
            out += c;
    }
    return out;
}

Command parseArguments(const QStringList &arguments)
{
    Options o;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({o.db, o.connection, o.to, o.text, o.count, o.at, o.report, o.list, o.help});
    if (!parser.parse(QStringList{QStringLiteral("Pelton")} + arguments))
        return ArgumentError{parser.errorText()};
    if (parser.isSet(o.help))
        return HelpCommand{};
    if (!parser.positionalArguments().isEmpty())
        return ArgumentError{QStringLiteral("unexpected argument \"%1\"")
                                 .arg(parser.positionalArguments().constFirst())};

    QString error;
    const auto file = single(parser, o.db, &error);
    const auto connection = single(parser, o.connection, &error);
    const auto to = single(parser, o.to, &error);
    const auto text = single(parser, o.text, &error);
    const auto count = single(parser, o.count, &error);
    const auto at = single(parser, o.at, &error);
    if (!error.isEmpty())
        return ArgumentError{error};
    if (file.has_value() == connection.has_value())
        return ArgumentError{QStringLiteral("give either --db or --connection")};
    if (file ? file->isEmpty() : connection->isEmpty())
        return ArgumentError{QStringLiteral("the database is empty")};
    const QString connectionString = file ? fileConnectionString(*file) : *connection;

    if (parser.isSet(o.list)) {
        if (to || text || count || at || parser.isSet(o.report))
            return ArgumentError{QStringLiteral("--list writes nothing")};
        return ListCommand{connectionString};
    }
    if (!to || to->trimmed().isEmpty())
        return ArgumentError{QStringLiteral("--to NUMBER is missing")};
    if (!text)
        return ArgumentError{QStringLiteral("--text is missing")};

    WriteCommand command;
    command.connectionString = connectionString;
    command.request.mbno = to->trimmed();
    command.textFromInput = *text == QLatin1String("-");
    if (!command.textFromInput)
        command.request.text = *text;
    if (count) {
        command.request.count = parseRowCount(*count);
        if (!command.request.count)
            return ArgumentError{QStringLiteral("--count \"%1\" is no whole number").arg(*count)};
    }
    if (at) {
        command.request.sendAt = QDateTime::fromString(at->trimmed(), timeFormat);
        if (!command.request.sendAt.isValid())
            return ArgumentError{
                QStringLiteral("--at \"%1\" is no time of the form yyyy-mm-dd hh:mm:ss").arg(*at)};
    }
    command.request.report = parser.isSet(o.report);
    return command;
}

int runCommandLine(const QStringList &arguments, QIODevice &input, QIODevice &output,
                   QIODevice &errors)
{
    const Command command = parseArguments(arguments);
    if (const auto *bad = std::get_if<ArgumentError>(&command)) {
        writeText(errors, QStringLiteral("Pelton: %1; %2\n").arg(bad->reason, usageLine()));
        return 2;
    }
    if (std::holds_alternative<HelpCommand>(command)) {
        writeText(output, usageLine() + u'\n');
        return 0;
    }
    if (const auto *list = std::get_if<ListCommand>(&command))
        return runList(*list, output, errors);
    return runWrite(std::get<WriteCommand>(command), input, output, errors);
}

} // namespace lonvera::outbox_writer
