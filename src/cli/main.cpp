#include <QCoreApplication>
#include <QStandardPaths>
#include <QStringConverter>
#include <QTextStream>
#include <cstdio>

#include "cli/cli.h"
#include "core/common/program_folder.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The same folder the window uses (~/.local/share/Tovira when installed).
    QCoreApplication::setApplicationName(QStringLiteral("Tovira"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    // Asked for only by the commands that read or write the program folder.
    const auto programFolder = [] {
        return tovira::ChooseProgramFolder(
            QCoreApplication::applicationDirPath(),
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    };
    const int status = tovira::RunCli(args, out, err, programFolder);
    out.flush();
    err.flush();
    return status;
}
