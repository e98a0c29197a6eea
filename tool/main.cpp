// The duriv entry point: records the installation, scans the options and runs
// one command inside the one error handler.
#include "macros/installdirs.h"
#include "package/hexception.h"
#include "project/solutionloaderror.h"
#include "tool/commandtable.h"
#include "tool/toolbanner.h"
#include "tool/toolenvironment.h"
#include "tool/tooloptions.h"

#include <QtGlobal>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

enum ExitStatus { ExitSuccess = 0, ExitFailure = 1 };

// Qt reports misuse it tolerates (an empty file name, ...) as warnings on
// standard error; the user sees the one error line the handler below prints,
// never a library's own words.
void discardLibraryMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

// Everything the error handler guards. The archive and the lock of a package
// command are destroyed before this returns, so exit() runs with them released.
ExitStatus runTool(int argc, char **argv)
{
    ToolOptions options = scanToolOptions(argc, argv);
    if (options.command == ToolCommand::None || options.fileArguments.isEmpty()) {
        printUsage();
        return ExitFailure;
    }
    readToolEnvironment(options);
    if (options.showVersion)
        printVersionBanner(stdout);
    runCommand(options);
    return ExitSuccess;
}

} // namespace

int main(int argc, char **argv)
{
    // A reader that closes the pipe early (head) ends us quietly.
    std::signal(SIGPIPE, SIG_DFL);
    // Month names follow the user's locale; nothing else does.
    std::setlocale(LC_TIME, "");
    qInstallMessageHandler(discardLibraryMessage);

    recordInstallationDirectories(argc > 0 ? argv[0] : "");

    ExitStatus status = ExitFailure;
    try {
        status = runTool(argc, argv);
    } catch (const HException &error) {
        std::fprintf(stderr, "error: %s\n", error.message().constData());
    } catch (const SolutionLoadError &error) {
        // The subject (usually the file name) is not printed: the text alone.
        std::fprintf(stderr, "error: %s\n", error.text.toUtf8().constData());
    } catch (...) {
        std::fprintf(stderr, "error: caught an unknown exception\n");
    }
    std::exit(status);
}
