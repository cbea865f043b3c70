#include "tools/cli/command_line.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <QStringList>

namespace lyrvox {

// Arguments cross into QString byte for byte (as Latin-1) and back the same way,
// so that file names that are not valid UTF-8 come out exactly as they came in.
QString fromStd(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toStd(const QString& text) {
    return text.toLatin1().toStdString();
}

ParseProblem parseArguments(QCommandLineParser& parser, const std::vector<std::string>& args) {
    QStringList words{QStringLiteral("lyrvox-cdg")};  // the parser skips the program's name
    for (const std::string& a : args) words << fromStd(a);
    if (parser.parse(words)) return {};
    // Qt's message is not ours: say which argument it was, as typed.
    const QStringList unknown = parser.unknownOptionNames();
    for (const std::string& a : args) {
        if (a == "--") break;  // the rest are names, whatever they look like
        if (a.size() < 2 || a[0] != '-') continue;
        const QString name = fromStd(a).remove(0, a[1] == '-' ? 2 : 1);
        if (unknown.contains(name) || (a[1] != '-' && unknown.contains(name.left(1)))) {
            return {ParseProblem::UnknownOption, a};
        }
    }
    if (!unknown.isEmpty()) return {ParseProblem::UnknownOption, toStd(u'-' + unknown.front())};
    return {ParseProblem::MissingValue, args.empty() ? std::string() : args.back()};
}

std::string playerLibraryFile() {
    QCoreApplication::setOrganizationName(QStringLiteral("Lyrvox"));
    QCoreApplication::setApplicationName(QStringLiteral("lyrvox"));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return QFile::encodeName(folder + QStringLiteral("/library.db")).toStdString();
}

}  // namespace lyrvox
