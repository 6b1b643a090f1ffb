#include "cli/cli.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <optional>

#include "cli/commands/cli_messages.h"
#include "cli/commands/command.h"
#include "core/common/text_table.h"
#include "core/common/version.h"

namespace tovira {

const std::vector<Command>& AllCommands() {
    static const std::vector<Command> commands = {
        ExportCommand(), ShowCommand(),      ReportCommand(),   SweepCommand(),    ImportCommand(),
        AppendCommand(), DirectoryCommand(), EstimateCommand(), AccuracyCommand(),
    };
    return commands;
}

namespace {

QString UsageOf(std::optional<CommandGroup> group) {
    QString usage = QStringLiteral("用法:\n");
    for (const Command& command : AllCommands()) {
        if (!group || command.group == *group) usage += command.usage;
    }
    return usage;
}

const Command* CommandNamed(const QString& name) {
    for (const Command& command : AllCommands()) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

// An option as it is typed: "-o", "--mode".
QString Typed(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

bool IsOption(const QString& word) { return word.size() > 1 && word.startsWith(u'-'); }

// The option's name in an argument: "mode" in "--mode=fact" and in "-mode".
QString NameIn(const QString& word) {
    qsizetype start = 0;
    while (start < word.size() && word[start] == u'-') ++start;
    return word.mid(start).section(u'=', 0, 0);
}

// The argument that brought an unknown option, as typed (without its value).
QString TypedUnknown(const QStringList& args, const QString& name) {
    for (const QString& word : args) {
        if (word == QStringLiteral("--")) break;
        if (IsOption(word) && NameIn(word) == name) return word.section(u'=', 0, 0);
    }
    return Typed(name);
}

bool AnyCommandTakes(const QString& word) {
    for (const Command& command : AllCommands()) {
        for (const CommandOption& option : command.options) {
            if (option.name == NameIn(word)) return true;
        }
    }
    return false;
}

// The command's own help: its usage, what it does and its options.
QString CommandHelp(const Command& command) {
    TextTable options;  // an empty first column indents the others by two blanks
    for (const CommandOption& option : command.options) {
        QString typed = Typed(option.name);
        if (!option.valueName.isEmpty()) typed += u' ' + option.valueName;
        options.AddRow({QString(), typed, option.description});
    }
    options.AddRow({QString(), QStringLiteral("-h, --help"), QStringLiteral("显示本命令的用法")});
    return QStringLiteral("用法:\n") + command.usage + u'\n' + command.summary +
           QStringLiteral("\n\n选项:\n") + options.Text();
}

// Reads the command's options from args (the words after the command's name)
// and runs it.
int RunCommand(const Command& command, const QStringList& args, QTextStream& out, QTextStream& err,
               const std::function<QString()>& programFolder) {
    QCommandLineParser parser;
    // "-o=x" and "-o x" as "--mode=x" and "--mode x"; no bundled letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser.addOption(help);
    for (const CommandOption& option : command.options) {
        parser.addOption(
            option.valueName.isEmpty()
                ? QCommandLineOption(option.name)
                : QCommandLineOption(option.name, option.description, option.valueName));
    }
    const QStringList programAndArgs = QStringList{QStringLiteral("tovira-cli")} + args;
    const bool parsed = parser.parse(programAndArgs);
    if (!parser.unknownOptionNames().isEmpty()) {
        err << QString::fromUtf8(kMsgUnknownOption)
                   .arg(TypedUnknown(args, parser.unknownOptionNames().constFirst()))
            << Qt::endl;
        err << MistakeUsage(command.group);
        return kStatusUsage;
    }
    if (!parsed) {  // an option without its value
        err << MistakeUsage(command.group);
        return kStatusUsage;
    }
    const QStringList given = parser.optionNames();
    for (const CommandOption& option : command.options) {
        if (!option.repeatable && given.count(option.name) > 1) {
            err << QString::fromUtf8(kMsgRepeatedOption).arg(Typed(option.name)) << Qt::endl;
            err << MistakeUsage(command.group);
            return kStatusUsage;
        }
    }
    if (parser.isSet(help)) {
        out << CommandHelp(command);
        return kStatusDone;
    }
    const CommandRun run{parser.positionalArguments(), parser, out, err, programFolder};
    return command.run(run);
}

}  // namespace

QString ProgramUsage() { return UsageOf(std::nullopt); }

QString MistakeUsage(CommandGroup group) {
    return group == CommandGroup::Plan ? ProgramUsage() : UsageOf(group);
}

int RunCli(const QStringList& args, QTextStream& out, QTextStream& err,
           const std::function<QString()>& programFolder) {
    const QString first = args.value(0);
    if (args.isEmpty()) {
        err << ProgramUsage();
        return kStatusUsage;
    }
    if (first == QStringLiteral("-h") || first == QStringLiteral("--help")) {
        out << ProgramUsage();
        return kStatusDone;
    }
    if (first == QStringLiteral("--version")) {
        out << QStringLiteral("tovira-cli ") << QStringLiteral(TOVIRA_VERSION) << '\n';
        return kStatusDone;
    }
    // The command is the first word, or comes after options meant for it.
    qsizetype at = 0;
    if (IsOption(first)) {
        while (at < args.size() && !CommandNamed(args[at])) ++at;
    }
    const Command* command = at < args.size() ? CommandNamed(args[at]) : nullptr;
    if (!command) {
        if (!IsOption(first)) {
            err << QString::fromUtf8(kMsgUnknownCommand).arg(first) << Qt::endl;
        } else if (!AnyCommandTakes(first)) {
            err << QString::fromUtf8(kMsgUnknownOption).arg(first.section(u'=', 0, 0)) << Qt::endl;
        }
        err << ProgramUsage();
        return kStatusUsage;
    }
    QStringList rest = args;
    rest.removeAt(at);
    return RunCommand(*command, rest, out, err, programFolder);
}

}  // namespace tovira
