// vantelo-cli: a unit's settings from a shell or a script, without a display.
#include "cli/Cli.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantelo-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    // Labels and JSON are UTF-8 whatever the locale says.
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");
    return cli::run(QCoreApplication::arguments().mid(1), out, err);
}
