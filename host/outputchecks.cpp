#include "outputchecks.h"

#include "bytesource.h"

#include <windows.h>

namespace {

std::wstring FullPath(const std::wstring& path) {
    wchar_t full[MAX_PATH * 4];
    const DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    return length == 0 || length >= MAX_PATH * 4 ? path : std::wstring(full, length);
}

// The identity of the file a name opens (volume and file index), as the file system sees it:
// one file under two names (a link, a name in another case where names ignore case) has one.
bool FileIdentity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& identity) {
    const HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(file, &identity) != 0;
    CloseHandle(file);
    return known;
}

} // namespace

bool SameFile(const std::wstring& first, const std::wstring& second) {
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    if (FileIdentity(first, a) && FileIdentity(second, b)) {
        return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
               a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
    }
    return _wcsicmp(FullPath(first).c_str(), FullPath(second).c_str()) == 0;
}

std::string OutputProblem(const std::wstring& output) {
    const std::string name = Utf8FromWide(output);
    const DWORD attributes = GetFileAttributesW(output.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return name + " is a folder: give the output a file name";
    }
    const std::wstring full = FullPath(output);
    const size_t separator = full.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? L"." : full.substr(0, separator);
    const DWORD folderAttributes = GetFileAttributesW((folder + L"\\").c_str());
    if (folderAttributes == INVALID_FILE_ATTRIBUTES ||
        (folderAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return "the folder " + Utf8FromWide(folder) + " of the output does not exist";
    }
    return {};
}
