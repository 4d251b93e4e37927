#include "installed_package.h"

#include <msi.h>
#include <msiquery.h>
#include <objbase.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "win_handles.h"

namespace msitest {

namespace {

using Microsoft::WRL::ComPtr;

constexpr DWORD msiexecTimeoutMs = 300000;
const wchar_t uninstallList[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// An owner of one handle of a kind, closed with the kind's own function.
template <typename Raw, auto close>
class Owned {
public:
    Owned() = default;
    explicit Owned(Raw handle) : handle_(handle) {}
    ~Owned()
    {
        if (handle_)
            close(handle_);
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Raw get() const { return handle_; }
    Raw* put() { return &handle_; }

private:
    Raw handle_{};
};

using Handle = Owned<HANDLE, CloseHandle>;
using MsiHandle = Owned<MSIHANDLE, MsiCloseHandle>;

std::wstring recordString(MSIHANDLE record, UINT field)
{
    DWORD length = 0;
    wchar_t none[1] = L"";
    MsiRecordGetStringW(record, field, none, &length);
    std::wstring text(length + 1, L'\0');
    ++length;
    MsiRecordGetStringW(record, field, text.data(), &length);
    text.resize(length);
    return text;
}

// COM for the calling thread, for as long as the object lives.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment()
    {
        if (initialised_)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised_;
};

} // namespace

DWORD runMsiexec(const std::wstring& arguments, const fs::path& log)
{
    std::wstring line = L"msiexec.exe " + arguments + L" /qn /l*v \"" + log.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    Handle thread(process.hThread), child(process.hProcess);
    DWORD code = WAIT_TIMEOUT;
    if (WaitForSingleObject(child.get(), msiexecTimeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(child.get(), &code);
    return code;
}

UINT reinstallAllFiles(const std::wstring& productCode, const fs::path& log)
{
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    MsiEnableLogW(INSTALLLOGMODE_VERBOSE | INSTALLLOGMODE_INFO | INSTALLLOGMODE_ERROR, log.wstring().c_str(), 0);
    return MsiReinstallProductW(productCode.c_str(), REINSTALLMODE_FILEREPLACE);
}

fs::path windowsPath(const std::string& path)
{
    std::string text = path;
    std::replace(text.begin(), text.end(), '/', '\\');
    return fs::path(text);
}

fs::path knownFolder(REFKNOWNFOLDERID folder)
{
    PWSTR path = nullptr;
    fs::path result;
    if (SUCCEEDED(SHGetKnownFolderPath(folder, 0, nullptr, &path)))
        result = path;
    CoTaskMemFree(path);
    return result;
}

fs::path installFolder()
{
    // In a 32-bit program on 64-bit Windows this is Program Files (x86).
    return knownFolder(FOLDERID_ProgramFiles) / L"Tavrin";
}

std::optional<Shortcut> readShortcut(const fs::path& file)
{
    ComApartment apartment;
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> persisted;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link))) ||
        FAILED(link.As(&persisted)) || FAILED(persisted->Load(file.wstring().c_str(), STGM_READ)))
        return std::nullopt;
    wchar_t target[MAX_PATH]{}, folder[MAX_PATH]{}, arguments[MAX_PATH]{};
    if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) ||
        FAILED(link->GetWorkingDirectory(folder, MAX_PATH)) || FAILED(link->GetArguments(arguments, MAX_PATH)))
        return std::nullopt;
    return Shortcut{target, folder, arguments};
}

std::optional<std::wstring> stringValue(HKEY root, const std::wstring& key, const std::wstring& name)
{
    DWORD size = 0;
    if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring value(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, value.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(wcsnlen(value.c_str(), value.size()));
    return value;
}

std::optional<DWORD> numberValue(HKEY root, const std::wstring& key, const std::wstring& name)
{
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(root, key.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

bool keyExists(HKEY root, const std::wstring& key)
{
    launcher::RegistryKey opened;
    return RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

std::vector<std::wstring> uninstallEntriesNamed(const std::wstring& name)
{
    std::vector<std::wstring> entries;
    launcher::RegistryKey list;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, uninstallList, 0, KEY_READ, list.put());
    wchar_t subkey[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(std::size(subkey));
        if (!list.get() ||
            RegEnumKeyExW(list.get(), index, subkey, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        const std::wstring entry = std::wstring(uninstallList) + L"\\" + subkey;
        if (stringValue(HKEY_LOCAL_MACHINE, entry, L"DisplayName") == name)
            entries.push_back(entry);
    }
    return entries;
}

std::optional<std::wstring> productInfo(const std::wstring& productCode, const wchar_t* property)
{
    wchar_t value[MAX_PATH];
    DWORD length = MAX_PATH;
    if (MsiGetProductInfoW(productCode.c_str(), property, value, &length) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value, length);
}

std::map<std::wstring, std::wstring> launchConditionsOf(const fs::path& package)
{
    std::map<std::wstring, std::wstring> conditions;
    MsiHandle database, view;
    if (MsiOpenDatabaseW(package.wstring().c_str(), reinterpret_cast<LPCWSTR>(MSIDBOPEN_READONLY), database.put()) !=
            ERROR_SUCCESS ||
        MsiDatabaseOpenViewW(database.get(), L"SELECT `Condition`, `Description` FROM `LaunchCondition`", view.put()) !=
            ERROR_SUCCESS ||
        MsiViewExecute(view.get(), 0) != ERROR_SUCCESS)
        return conditions;
    for (;;) {
        MsiHandle record;
        if (MsiViewFetch(view.get(), record.put()) != ERROR_SUCCESS)
            break;
        conditions[recordString(record.get(), 1)] = recordString(record.get(), 2);
    }
    return conditions;
}

std::vector<std::wstring> filesBelow(const fs::path& folder)
{
    std::vector<std::wstring> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file())
            files.push_back(fs::relative(it->path(), folder).wstring());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string readBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool sameContent(const fs::path& one, const fs::path& other)
{
    return fs::exists(one) && fs::exists(other) && readBytes(one) == readBytes(other);
}

bool runningUnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

} // namespace msitest
