#include "platform/programoptions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

namespace ProgramOptions {

namespace {

const QCommandLineOption Help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Displays this help."));
const QCommandLineOption Version({QStringLiteral("v"), QStringLiteral("version")},
                                 QStringLiteral("Displays the version."));

} // namespace

void AddHelpAndVersion(QCommandLineParser &parser)
{
    parser.addOptions({Help, Version});
}

bool AnswerHelpOrVersion(const QCommandLineParser &parser)
{
    if (parser.isSet(Help)) {
        // The parser names the program by the path it was started with; manual pages and
        // users want its name.
        const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        QString help = parser.helpText();
        help.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: ") + name);
        std::fputs(help.toUtf8().constData(), stdout);
        return true;
    }
    if (parser.isSet(Version)) {
        std::printf("%s %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
        return true;
    }
    return false;
}

} // namespace ProgramOptions
