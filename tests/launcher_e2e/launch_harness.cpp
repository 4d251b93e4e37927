#include "launch_harness.h"

#include <algorithm>
#include <cstring>
#include <cctype>
#include <cwchar>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace launche2e {

namespace {

// Wine's debug strings: \n, \r, \t, \", \\ and, for a narrow string, \xNN
// escapes of its bytes; a wide string (L"...") escapes each other UTF-16
// unit as \NNNN and is given as UTF-8.
std::string unescape(const std::string& text, std::size_t& at, bool wide)
{
    std::u16string units;
    ++at; // opening quote
    while (at < text.size() && text[at] != '"') {
        char c = text[at++];
        if (c != '\\' || at >= text.size()) {
            units += static_cast<char16_t>(static_cast<unsigned char>(c));
            continue;
        }
        char e = text[at++];
        if (wide && std::isxdigit(static_cast<unsigned char>(e))) {
            units += static_cast<char16_t>(std::stoi(text.substr(at - 1, 4), nullptr, 16));
            at += 3;
            continue;
        }
        switch (e) {
        case 'n':
            units += u'\n';
            break;
        case 'r':
            units += u'\r';
            break;
        case 't':
            units += u'\t';
            break;
        case 'x':
            units += static_cast<char16_t>(std::stoi(text.substr(at, 2), nullptr, 16));
            at += 2;
            break;
        default:
            units += static_cast<char16_t>(static_cast<unsigned char>(e));
            break;
        }
    }
    ++at; // closing quote
    if (!wide)
        return std::string(units.begin(), units.end());
    return utf8Of(std::wstring(units.begin(), units.end()));
}

// A 64-bit program's arguments are 16 digits: more than an unsigned long holds on Windows.
std::uint64_t hexAt(const std::string& text, std::size_t& at)
{
    std::size_t used = 0;
    std::uint64_t value = std::stoull(text.substr(at), &used, 16);
    at += used;
    return value;
}

// "0040a060 \"text\"" or "0040a060 L\"text\"": an address, a blank and the
// string. Wine prints at most 300 characters of a string and marks a longer
// one with "..." behind its closing quote: *cut then says so.
std::string stringArgumentAt(const std::string& text, std::size_t& at, bool* cut = nullptr)
{
    hexAt(text, at);
    at = text.find('"', at);
    std::string value = unescape(text, at, at > 0 && text[at - 1] == 'L');
    const bool shortened = text.compare(at, 3, "...") == 0;
    at += shortened ? 3 : 0;
    if (cut)
        *cut = shortened;
    return value;
}

} // namespace

std::vector<std::string> callsOf(const std::string& trace, const std::string& function)
{
    std::vector<std::string> calls;
    const std::string marker = ":Call " + function + "(";
    for (std::size_t at = trace.find(marker); at != std::string::npos; at = trace.find(marker, at + 1)) {
        calls.push_back(trace.substr(at + marker.size(), trace.find('\n', at) - at - marker.size()));
    }
    return calls;
}

namespace {

fs::path wineTraceFile()
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TAVRIN_E2E_WINE_TRACE", path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? fs::path(std::string(path, length)) : fs::path();
}

std::uintmax_t sizeOf(const fs::path& file)
{
    std::error_code ignored;
    std::uintmax_t size = fs::file_size(file, ignored);
    return size == static_cast<std::uintmax_t>(-1) ? 0 : size;
}

std::string textFrom(const fs::path& file, std::uintmax_t offset)
{
    std::string text = readText(file);
    return offset < text.size() ? text.substr(static_cast<std::size_t>(offset)) : std::string();
}

} // namespace

std::wstring widened(const std::string& text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string utf8Of(const std::wstring& text)
{
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

Environment::Environment()
{
    LPWCH strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry; entry += std::wcslen(entry) + 1) {
        std::wstring text = entry;
        std::size_t equals = text.find(L'=', 1); // "=C:=C:\..." entries start with '='
        if (equals == std::wstring::npos)
            continue;
        set(text.substr(0, equals), text.substr(equals + 1));
    }
    FreeEnvironmentStringsW(strings);
}

Environment& Environment::set(const std::wstring& name, std::optional<std::wstring> value)
{
    std::wstring key = name;
    for (wchar_t& c : key)
        c = static_cast<wchar_t>(std::towupper(c));
    if (!value) {
        values_.erase(key);
        names_.erase(key);
    } else {
        values_[key] = *value;
        names_[key] = name;
    }
    return *this;
}

Environment& Environment::set(const std::string& name, std::optional<std::string> value)
{
    return set(widened(name), value ? std::optional<std::wstring>(widened(*value)) : std::nullopt);
}

std::wstring Environment::block() const
{
    std::wstring block;
    for (const auto& [key, value] : values_) {
        block += names_.at(key) + L"=" + value;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

LaunchResult runProcess(const fs::path& exe, const std::string& commandLine, const Environment& environment,
                        const fs::path& currentFolder, const fs::path& consoleFile, StandardHandles handles)
{
    return runProcess(exe, widened(commandLine), environment, currentFolder, consoleFile, handles);
}

LaunchResult runProcess(const fs::path& exe, const std::wstring& commandLine, const Environment& environment,
                        const fs::path& currentFolder, const fs::path& consoleFile, StandardHandles handles)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE console = CreateFileW(consoleFile.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inheritable, CREATE_ALWAYS, 0, nullptr);
    const fs::path traceFile = wineTraceFile();
    const std::uintmax_t traceStart = sizeOf(traceFile);
    const bool inherit = handles == StandardHandles::ConsoleFile;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = inherit ? console : nullptr;
    startup.hStdError = inherit ? console : nullptr;
    std::wstring line = commandLine;
    std::wstring block = environment.block();
    PROCESS_INFORMATION process{};
    LaunchResult result;
    if (CreateProcessW(exe.wstring().c_str(), line.data(), nullptr, nullptr, inherit, CREATE_UNICODE_ENVIRONMENT,
                       block.data(), currentFolder.wstring().c_str(), &startup, &process)) {
        result.finished = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
        if (!result.finished)
            TerminateProcess(process.hProcess, 99);
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        result.startError = GetLastError();
    }
    CloseHandle(console);
    std::string text = traceFile.empty() ? std::string() : textFrom(traceFile, traceStart);
    result.messageBoxes = messageBoxesIn(text);
    result.shellNotifications = shellNotificationsIn(text);
    result.standardHandleCalls = standardHandleCallsIn(text);
    result.fileOpenings = fileOpeningsIn(text);
    result.trace = std::move(text);
    return result;
}

// "00000000,0040a060 \"text\",0040a044 \"title\",00000010) ret=..."
std::vector<MessageBoxCall> messageBoxesIn(const std::string& trace)
{
    std::vector<MessageBoxCall> boxes;
    for (const std::string& call : callsOf(trace, "user32.MessageBoxW")) {
        MessageBoxCall box{};
        std::size_t at = 0;
        box.owner = hexAt(call, at);
        ++at;
        box.text = stringArgumentAt(call, at, &box.textCut);
        ++at;
        box.title = stringArgumentAt(call, at);
        ++at;
        box.style = hexAt(call, at);
        boxes.push_back(box);
    }
    return boxes;
}

std::vector<ShellNotification> shellNotificationsIn(const std::string& trace)
{
    std::vector<ShellNotification> notifications;
    for (const std::string& call : callsOf(trace, "shell32.SHChangeNotify")) {
        ShellNotification n{};
        std::size_t at = 0;
        n.eventId = hexAt(call, at);
        n.flags = hexAt(call, ++at);
        n.item1 = hexAt(call, ++at);
        n.item2 = hexAt(call, ++at);
        notifications.push_back(n);
    }
    return notifications;
}

// "fffffff4,00000018) ret=140006816"
std::vector<StandardHandleCall> standardHandleCallsIn(const std::string& trace)
{
    std::vector<StandardHandleCall> calls;
    for (const std::string& call : callsOf(trace, "KERNEL32.SetStdHandle")) {
        StandardHandleCall c{};
        std::size_t at = 0;
        c.which = hexAt(call, at);
        c.handle = hexAt(call, ++at);
        at = call.find("ret=", at);
        if (at == std::string::npos)
            continue;
        at += 4;
        c.returnAddress = hexAt(call, at);
        calls.push_back(c);
    }
    return calls;
}

// "0024:Call KERNEL32.CreateFileW(0031f6f0 L\"C:\\...\",40000000,...) ret=..." and,
// next on the same thread, "0024:Ret  KERNEL32.CreateFileW() retval=0000001c ret=...".
std::vector<FileOpening> fileOpeningsIn(const std::string& trace)
{
    std::vector<FileOpening> openings;
    for (const std::string function : {"KERNEL32.CreateFileA", "KERNEL32.CreateFileW"}) {
        const std::string call = ":Call " + function + "(";
        for (std::size_t at = trace.find(call); at != std::string::npos; at = trace.find(call, at + 1)) {
            const std::size_t lineStart = at == 0 ? 0 : trace.rfind('\n', at - 1) + 1;
            const std::string thread = trace.substr(lineStart, at - lineStart);
            const std::string line = trace.substr(at + call.size(), trace.find('\n', at) - at - call.size());
            const std::string ret = "\n" + thread + ":Ret  " + function + "() retval=";
            std::size_t back = trace.find(ret, at);
            if (back == std::string::npos)
                continue;
            const std::string retLine = trace.substr(back + ret.size(), 20);
            std::size_t argument = 0, value = 0;
            openings.push_back({stringArgumentAt(line, argument), hexAt(retLine, value)});
        }
    }
    return openings;
}

std::pair<std::uint64_t, std::uint64_t> imageRangeOf(const fs::path& program)
{
    const std::string image = readText(program);
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS nt{};
    if (image.size() < sizeof dos)
        return {0, 0};
    std::memcpy(&dos, image.data(), sizeof dos);
    if (static_cast<std::size_t>(dos.e_lfanew) + sizeof nt > image.size())
        return {0, 0};
    std::memcpy(&nt, image.data() + dos.e_lfanew, sizeof nt);
    const std::uint64_t base = nt.OptionalHeader.ImageBase;
    return {base, base + nt.OptionalHeader.SizeOfImage};
}

std::vector<std::string> linesOf(const fs::path& file)
{
    std::vector<std::string> lines;
    std::istringstream in(readText(file));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string readText(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

void setStringValue(HKEY root, const std::string& key, const char* name, const std::string& value, REGSAM view)
{
    HKEY opened;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &opened, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(opened);
}

std::optional<std::string> defaultValue(HKEY root, const std::string& key)
{
    char value[1024];
    DWORD size = sizeof value;
    if (RegGetValueA(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(value);
}

bool keyExists(HKEY root, const std::string& key, REGSAM view)
{
    HKEY opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

void deleteTree(HKEY root, const std::string& key, REGSAM view)
{
    if (!view) {
        RegDeleteTreeA(root, key.c_str());
        return;
    }
    const std::size_t slash = key.rfind('\\');
    HKEY parent;
    const std::string parentPath = slash == std::string::npos ? std::string() : key.substr(0, slash);
    if (RegOpenKeyExA(root, parentPath.c_str(), 0, KEY_ALL_ACCESS | view, &parent) != ERROR_SUCCESS)
        return;
    RegDeleteTreeA(parent, key.substr(slash == std::string::npos ? 0 : slash + 1).c_str());
    RegCloseKey(parent);
}

} // namespace launche2e
