#include "launch_sequence.h"

#include <cstdio>

#include "command_line.h"
#include "file_type.h"
#include "installation.h"
#include "java_start.h"
#include "launch_log.h"
#include "message_box.h"
#include "system_paths.h"

namespace launcher {

const char classPathTemplate[] =
    "lib\\tavrin.jar;lib\\MRJToolkitStubs.zip;lib\\xalan.jar;lib\\crimson.jar;lib\\resources.jar;%s;"
    "lib\\jakarta-regexp-1.2.jar;lib\\j2lib.jar;lib\\jakarta-poi-1.10.0-dev.jar;lib\\extensions.jar";
const char libContentsMissingMessage[] = "Can't find contents of \"lib\" subdirectory.\n"
                                         "Please re-install application, checking the zip expansion options.";
const char qtJavaMissingMessage[] = "Can't find 'QTJava.zip'. Please re-install QuickTime.";

namespace {

constexpr UINT systemFolderLimit = 128;

void logLaunchTime()
{
    std::time_t now = std::time(nullptr);
    launchLog("%s", launchTimeText(*std::localtime(&now)).c_str());
}

// The message for a broken installation, or none. A flattened installation is
// repaired, which ends the process.
std::optional<std::string> installationProblem(const std::string& qtJavaPath)
{
    if (!pathExists("lib\\resources.jar")) {
        launchLog("Failed to find 'lib\\resources.jar'\n");
        if (pathExists("tavrin.jar"))
            repairLibDirectory();
        return std::string(libContentsMissingMessage);
    }
    if (!pathExists(qtJavaPath)) {
        launchLog("Failed to find QTJava.zip\n");
        return std::string(qtJavaMissingMessage);
    }
    return std::nullopt;
}

// Stray logs of older versions go into the legacy "Logs" folder.
void gatherLegacyLogs()
{
    if (pathExists("Logs"))
        moveMatchingFiles("*.log", "Logs");
}

// The shell starts the open command from any folder, so it must name the
// program by its full path even when the command line did not.
std::string programPathForShell(const std::string& exePath)
{
    return isFullPath(exePath) ? exePath : runningProgramPath();
}

void registerFileTypeUnlessOptedOut(const std::string& exePath)
{
    if (fileTypeRegistrationEnabled && !classesKeyExists(fileTypeOptOutKey))
        registerCatalogFileType(programPathForShell(exePath));
}

int failLaunch(const std::string& message)
{
    showLaunchError(message);
    return 0;
}

} // namespace

std::string launchTimeText(const std::tm& time)
{
    static const char days[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char months[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", days[time.tm_wday % 7],
                  months[time.tm_mon % 12], time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec, 1900 + time.tm_year);
    return text;
}

std::string qtJavaInSystemFolder(UINT(WINAPI* systemFolder)(LPSTR, UINT))
{
    char folder[systemFolderLimit];
    UINT length = systemFolder(folder, systemFolderLimit);
    std::string path;
    if (length == 0 || length >= systemFolderLimit) {
        launchLog("System folder does not fit %u characters (needs %u)\n", systemFolderLimit, length);
    } else {
        path.assign(folder, length);
    }
    return path + "\\QTJava.zip";
}

std::string findQTJava()
{
    if (std::optional<std::string> value = environmentValue("QTJAVA")) {
        std::string path = unquotedCopy(*value);
        if (pathExists(path))
            return path;
        launchLog("Can't find QTJAVA='%s'\n", path.c_str());
    }
    if (pathExists("lib\\QTJava.zip"))
        return "lib\\QTJava.zip";
    return qtJavaInSystemFolder();
}

std::string classPathFor(const std::string& qtJavaPath)
{
    std::string classPath = classPathTemplate;
    return classPath.replace(classPath.find("%s"), 2, qtJavaPath);
}

std::string libraryPathFor(const std::optional<std::string>& path)
{
    return path ? "lib;" + *path : std::string("lib");
}

std::vector<std::string> argumentVectorFor(const std::string& fileArgument)
{
    std::vector<std::string> arguments = {"java"};
    if (!fileArgument.empty())
        arguments.push_back(fileArgument);
    return arguments;
}

int launcherMain(HINSTANCE, HINSTANCE, char* commandLineTail, int)
{
    logLaunchTime();
    std::string exePath = exeNameFromCommandLine(commandLineTail);
    launchLog("EXEname=%s\n", exePath.c_str());
    std::string fileArgument = fileArgumentFromCommandLine(commandLineTail);
    launchLog("Filename=%s\n", fileArgument.c_str());
    SetCurrentDirectoryA(directoryOf(exePath).c_str());
    redirectErrorLog();
    std::fputs("Launching ...\n", stdout);

    std::string qtJavaPath = findQTJava();
    launchLog("QTJava=%s\n", qtJavaPath.c_str());
    if (std::optional<std::string> problem = installationProblem(qtJavaPath))
        return failLaunch(*problem);
    gatherLegacyLogs();
    registerFileTypeUnlessOptedOut(exePath);

    std::string message =
        startJava(classPathFor(qtJavaPath), libraryPathFor(environmentValue("PATH")), argumentVectorFor(fileArgument));
    launchLog("*** %s ***\n", message.c_str());
    return failLaunch(message);
}

} // namespace launcher
