#include <QCoreApplication>
#include <QStringConverter>
#include <QTextStream>
#include <cstdio>

#include "cli/cli.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setEncoding(QStringConverter::Utf8);
    err.setEncoding(QStringConverter::Utf8);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const int status = tovira::RunCli(args, out, err);
    out.flush();
    err.flush();
    return status;
}
