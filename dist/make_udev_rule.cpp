// Writes the udev rule from the model catalogue, so that the USB identifiers the program filters
// on and the ones the system grants access to can never disagree.
#include "unit/ModelCatalogue.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s RULES-FILE\n", argv[0]);
        return 2;
    }
    const QString vendor =
        QStringLiteral("%1").arg(catalogue::usbVendorId, 4, 16, QLatin1Char('0'));
    QString text;
    QTextStream out(&text);
    out << "# Generated from the model catalogue at build time; edit the catalogue, not this "
           "file.\n"
        << "# Korvane lighting devices, USB vendor 0x" << vendor << ", one product per family.\n"
        << "# \"uaccess\" lets the user logged in at the seat open the device's serial port, so "
           "nobody has to\n"
        << "# run Vantelo as root or join the dialout group; it must be set before "
           "73-seat-late.rules acts on\n"
        << "# it. ID_MM_DEVICE_IGNORE keeps ModemManager from probing the port with modem "
           "commands, which the\n"
        << "# device's command interpreter would answer and which could hold the port when Vantelo "
           "opens it.\n";
    for (const Family family : catalogue::families()) {
        const QString product =
            QStringLiteral("%1").arg(catalogue::usbProductId(family), 4, 16, QLatin1Char('0'));
        out << "# family " << catalogue::familyName(family) << "\n"
            << "SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"" << vendor << "\", ATTRS{idProduct}==\""
            << product << "\", TAG+=\"uaccess\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n";
    }
    out.flush();
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
