#pragma once
// One command of tovira-cli: its name, what it does in a line, its usage,
// its options and what it runs. The dispatcher (cli.cpp) reads the command
// line with the command's options and hands the result to run.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <vector>

namespace tovira {

// Exit statuses: 0 done, 1 a wrong plan or input, 2 a usage mistake, then
// the market-data commands' own.
constexpr int kStatusDone = 0;
constexpr int kStatusFailed = 1;
constexpr int kStatusUsage = 2;
constexpr int kStatusNetwork = 3;  // a network or provider failure: worth retrying later
constexpr int kStatusNothing = 4;  // the provider has nothing for this request
constexpr int kStatusChanged = 5;  // the plan file changed while the command ran: worth retrying

// An option of a command. Every option but a repeatable one may be given
// once: a command that writes files must not guess which value was meant.
struct CommandOption {
    QString name;       // without dashes: one letter for "-o", else "--name"
    QString valueName;  // empty for a switch
    QString description;
    bool repeatable = false;
};

// What a command runs with: its words after the command's name, its options
// (read them by name), the streams and the program folder (asked for only by
// the commands that need it; none in tests that give none).
struct CommandRun {
    QStringList words;
    const QCommandLineParser& options;
    QTextStream& out;
    QTextStream& err;
    const std::function<QString()>& programFolder;

    bool Has(const QString& name) const { return options.isSet(name); }
    // The option's value; a null string when it was not given.
    QString Value(const QString& name) const {
        return options.isSet(name) ? options.value(name) : QString();
    }
    QString Folder() const { return programFolder ? programFolder() : QString(); }
};

// The plan commands (export, show, report, sweep) and the market-data
// commands (import, append, directory, estimate).
enum class CommandGroup { Plan, MarketData };

struct Command {
    QString name;
    QString summary;  // one line
    QString usage;    // its lines of the program's usage, each ending in "\n"
    CommandGroup group;
    std::vector<CommandOption> options;
    std::function<int(const CommandRun&)> run;
};

// The commands in the order the usage lists them.
Command ExportCommand();
Command ShowCommand();
Command ReportCommand();
Command SweepCommand();
Command ImportCommand();
Command AppendCommand();
Command DirectoryCommand();
Command EstimateCommand();
Command AccuracyCommand();

// The commands in the order the usage lists them.
const std::vector<Command>& AllCommands();

// "用法:\n" and the usage lines of every command: what tovira-cli --help
// prints.
QString ProgramUsage();
// What a usage mistake prints on the error stream after its message, if any:
// the whole usage after a plan command, the market-data commands' lines after
// one of them.
QString MistakeUsage(CommandGroup group);

}  // namespace tovira
