// Runs the schema commands on an empty database and writes what they left, as the C++ source of
// newDatabaseScript(): a new database is then built from it at once. Run by the build.

#include "migrator.h"
#include "schemascript.h"

#include <infrastructure/database.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// A C++ string literal, one source line per line of the script; bytes beyond ASCII as escapes.
QByteArray literal(const QByteArray &text)
{
    QByteArray out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n\"\n    \"";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7f) {
            out += QByteArray("\\") + QByteArray::number(byte, 8).rightJustified(3, '0');
        } else {
            out += c;
        }
    }
    return out + '"';
}

void quietInfo(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtInfoMsg && type != QtDebugMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    qInstallMessageHandler(quietInfo);
    QTemporaryDir dir;
    Nod::Infrastructure::Database database;
    if (!dir.isValid() || !database.open(dir.filePath(QStringLiteral("new")))) {
        std::fprintf(stderr, "cannot create a database in %s\n", qPrintable(dir.path()));
        return 1;
    }
    QString script;
    {
        Nod::Infrastructure::Migrator migrator;
        if (!migrator.isNewDatabase() || !migrator.migrate()) {
            std::fprintf(stderr, "the schema commands failed on an empty database\n");
            return 1;
        }
        script = Nod::Infrastructure::schemaScript();
    }
    Nod::Infrastructure::Database::close();

    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    out.write("// Made by the build from the schema commands (makeschemascript); not to be edited.\n\n"
              "#include <infrastructure/migrations/schemascript.h>\n\n"
              "const char *Nod::Infrastructure::newDatabaseScript()\n{\n    return ");
    out.write(literal(script.toUtf8()));
    out.write(";\n}\n");
    return out.flush() ? 0 : 1;
}
