// Reads and writes list fields of a data-engine database file, for preparing a civil takeoff
// product's system database by hand:
//   vaultkeep-ledgerbase set <file> <group> <field> [entry ...]
//   vaultkeep-ledgerbase get <file> <group> <field>

#include "discovery/kledgerbase.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 4 || (args.at(0) != QLatin1String("set") && args.at(0) != QLatin1String("get"))) {
        err << "usage: vaultkeep-ledgerbase set <file> <group> <field> [entry ...]\n"
               "       vaultkeep-ledgerbase get <file> <group> <field>\n";
        return 2;
    }
    const KLedgerbase engine(QCoreApplication::applicationDirPath() + QStringLiteral("/libLedgerbase.so"));
    if (!engine.isLoaded()) {
        err << "libLedgerbase.so was not found beside this program\n";
        return 1;
    }
    const QString file = QFileInfo(args.at(1)).absoluteFilePath();
    if (args.at(0) == QLatin1String("set")) {
        if (!engine.writeField(file, args.at(2), args.at(3), args.mid(4))) {
            err << "could not write " << file << '\n';
            return 1;
        }
        return 0;
    }
    QString text;
    if (!engine.readField(file, args.at(2), args.at(3), &text)) {
        err << "no such field in " << file << '\n';
        return 1;
    }
    out << text.replace(QLatin1String("\r\n"), QLatin1String("\n")) << '\n';
    return 0;
}
