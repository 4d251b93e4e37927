#include "launch_sequence.h"

#include <cstdio>

#include "code_page_text.h"
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
const wchar_t libContentsMissingMessage[] = L"Can't find contents of \"lib\" subdirectory.\n"
                                            L"Please re-install application, checking the zip expansion options.";
const wchar_t qtJavaMissingMessage[] = L"Can't find 'QTJava.zip'. Please re-install QuickTime.";

namespace {

constexpr UINT systemFolderLimit = 128;

void logLaunchTime()
{
    std::time_t now = std::time(nullptr);
    launchLog("%s", launchTimeText(*std::localtime(&now)).c_str());
}

// The message for a broken installation, or none. A flattened installation is
// repaired, which ends the process.
std::optional<std::wstring> installationProblem(const std::wstring& qtJavaPath)
{
    if (!pathExists(L"lib\\resources.jar")) {
        launchLog("Failed to find 'lib\\resources.jar'\n");
        if (pathExists(L"tavrin.jar"))
            repairLibDirectory();
        return std::wstring(libContentsMissingMessage);
    }
    if (!pathExists(qtJavaPath)) {
        launchLog("Failed to find QTJava.zip\n");
        return std::wstring(qtJavaMissingMessage);
    }
    return std::nullopt;
}

// Stray logs of older versions go into the legacy "Logs" folder.
void gatherLegacyLogs()
{
    if (pathExists(L"Logs"))
        moveMatchingFiles(L"*.log", L"Logs");
}

// The shell starts the open command from any folder, so it must name the
// program by its full path even when the command line did not.
std::wstring programPathForShell(const std::wstring& exePath)
{
    return isFullPath(exePath) ? exePath : runningProgramPath();
}

void registerFileTypeUnlessOptedOut(const std::wstring& exePath)
{
    if (fileTypeRegistrationEnabled && !classesKeyExists(fileTypeOptOutKey))
        registerCatalogFileType(programPathForShell(exePath));
}

int failLaunch(const std::wstring& message, int exitCode = 0)
{
    showLaunchError(message);
    return exitCode;
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

std::wstring qtJavaInSystemFolder(UINT(WINAPI* systemFolder)(LPWSTR, UINT))
{
    wchar_t folder[systemFolderLimit];
    UINT length = systemFolder(folder, systemFolderLimit);
    std::wstring path;
    if (length == 0 || length >= systemFolderLimit) {
        launchLog("System folder does not fit %u characters (needs %u)\n", systemFolderLimit, length);
    } else {
        path.assign(folder, length);
    }
    return path + L"\\QTJava.zip";
}

std::wstring findQTJava()
{
    if (std::optional<std::wstring> value = environmentValue(L"QTJAVA")) {
        std::wstring path = unquotedCopy(*value);
        if (pathExists(path))
            return path;
        launchLog("Can't find QTJAVA='%s'\n", ansiForLog(path).c_str());
    }
    if (pathExists(L"lib\\QTJava.zip"))
        return L"lib\\QTJava.zip";
    return qtJavaInSystemFolder();
}

std::string classPathFor(const std::string& qtJavaPath)
{
    std::string classPath = classPathTemplate;
    return classPath.replace(classPath.find("%s"), 2, qtJavaPath);
}

std::string libraryPathFor(const std::optional<std::wstring>& path)
{
    std::string libraryPath = "lib";
    if (!path)
        return libraryPath;
    libraryPath += ";";
    // Each folder on its own: one whose name the code page lacks takes its short form.
    for (std::wstring::size_type start = 0;;) {
        const std::wstring::size_type end = path->find(L';', start);
        libraryPath += ansiPathForVm(path->substr(start, end - start));
        if (end == std::wstring::npos)
            return libraryPath;
        libraryPath += ";";
        start = end + 1;
    }
}

std::vector<std::wstring> argumentVectorFor(const std::wstring& fileArgument)
{
    std::vector<std::wstring> arguments = {L"java"};
    if (!fileArgument.empty())
        arguments.push_back(fileArgument);
    return arguments;
}

std::optional<std::wstring> unusableFolderProblem(const std::wstring& folder)
{
    if (ansiWithoutLoss(folder))
        return std::nullopt;
    return L"Tavrin cannot start from the folder " + folder +
           L", because its name contains characters that Java cannot use with this computer's language for "
           L"non-Unicode programs. Please move Tavrin to a folder with a plainer name, such as "
           L"C:\\Program Files\\Tavrin.";
}

int launcherMain(HINSTANCE, HINSTANCE, wchar_t* commandLineTail, int)
{
    logLaunchTime();
    std::wstring exePath = exeNameFromCommandLine(commandLineTail);
    launchLog("EXEname=%s\n", ansiForLog(exePath).c_str());
    std::wstring fileArgument = fileArgumentFromCommandLine(commandLineTail);
    launchLog("Filename=%s\n", ansiForLog(fileArgument).c_str());
    const std::wstring installationFolder = directoryOf(exePath);
    SetCurrentDirectoryW(installationFolder.c_str());
    // Java could not load the capture library from such a folder, even when
    // started through its short name (Java spells it out): nothing is touched,
    // the registry least of all.
    if (std::optional<std::wstring> problem = unusableFolderProblem(longPathOf(fullPathOf(installationFolder))))
        return failLaunch(*problem, unusableFolderExitCode);
    redirectErrorLog();
    std::fputs("Launching ...\n", stdout);

    std::wstring qtJavaPath = findQTJava();
    launchLog("QTJava=%s\n", ansiForLog(qtJavaPath).c_str());
    if (std::optional<std::wstring> problem = installationProblem(qtJavaPath))
        return failLaunch(*problem);
    gatherLegacyLogs();
    registerFileTypeUnlessOptedOut(exePath);

    std::wstring message = startJava(classPathFor(ansiPathForVm(qtJavaPath)), libraryPathFor(environmentValue(L"PATH")),
                                     argumentVectorFor(fileArgument));
    launchLog("*** %s ***\n", ansiForLog(message).c_str());
    return failLaunch(message);
}

} // namespace launcher
