#include "effectlog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace effecttest {

namespace {

constexpr wchar_t switchSubkey[] = L"SOFTWARE\\KovraAPO";
constexpr wchar_t switchValueName[] = L"EnableTrace";
constexpr wchar_t traceOn[] = L"true";

std::wstring logFolder;

std::wstring LogPath() {
    return logFolder + L"\\KovraAPO.log";
}

std::string ReadLogBytes() {
    std::ifstream file(LogPath().c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// "date time thread OBJECT (file:line): [(TRACE) ]message"
bool ParseLine(const std::string& text, EffectLogLine& line) {
    const std::string traceMarker = "(TRACE) ";
    const size_t sourceStart = text.find(" (");
    const size_t sourceEnd = text.find("): ");
    if (sourceStart == std::string::npos || sourceEnd == std::string::npos || sourceStart < 8) {
        return false;
    }
    line.object = text.substr(sourceStart - 8, 8);
    const std::string source = text.substr(sourceStart + 2, sourceEnd - sourceStart - 2);
    line.sourceFile = source.substr(0, source.rfind(':'));
    line.message = text.substr(sourceEnd + 3);
    line.isTrace = line.message.compare(0, traceMarker.size(), traceMarker) == 0;
    if (line.isTrace) {
        line.message.erase(0, traceMarker.size());
    }
    return true;
}

class EffectLogEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        logFolder =
            std::wstring(temp) + L"kovraapo-tests-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(logFolder.c_str(), nullptr);
        Override(L"TMP", previousTmp);
        Override(L"TEMP", previousTemp);
        SwitchTraceOn();
    }

    void TearDown() override {
        RestoreSwitch();
        Restore(L"TMP", previousTmp);
        Restore(L"TEMP", previousTemp);
        DeleteFileW(LogPath().c_str());
        RemoveDirectoryW(logFolder.c_str());
    }

private:
    struct Previous {
        bool existed = false;
        std::wstring value;
    };

    static void Override(const wchar_t* name, Previous& previous) {
        wchar_t value[32768];
        const DWORD length = GetEnvironmentVariableW(name, value, 32768);
        previous.existed = length > 0 && length < 32768;
        previous.value = previous.existed ? std::wstring(value, length) : std::wstring();
        SetEnvironmentVariableW(name, logFolder.c_str());
    }

    static void Restore(const wchar_t* name, const Previous& previous) {
        SetEnvironmentVariableW(name, previous.existed ? previous.value.c_str() : nullptr);
    }

    void SwitchTraceOn() {
        HKEY key = nullptr;
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, switchSubkey, 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                            &disposition) != ERROR_SUCCESS) {
            return;
        }
        createdKey = disposition == REG_CREATED_NEW_KEY;
        DWORD size = 0;
        valueExisted = RegQueryValueExW(key, switchValueName, nullptr, &valueType, nullptr,
                                        &size) == ERROR_SUCCESS;
        if (valueExisted) {
            valueData.resize(size);
            RegQueryValueExW(key, switchValueName, nullptr, &valueType, valueData.data(), &size);
        }
        RegSetValueExW(key, switchValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(traceOn),
                       sizeof(traceOn));
        RegCloseKey(key);
    }

    void RestoreSwitch() {
        if (createdKey) {
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, switchSubkey, KEY_WOW64_64KEY, 0);
            return;
        }
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, switchSubkey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                          &key) != ERROR_SUCCESS) {
            return;
        }
        if (valueExisted) {
            RegSetValueExW(key, switchValueName, 0, valueType, valueData.data(),
                           static_cast<DWORD>(valueData.size()));
        } else {
            RegDeleteValueW(key, switchValueName);
        }
        RegCloseKey(key);
    }

    Previous previousTmp;
    Previous previousTemp;
    bool createdKey = false;
    bool valueExisted = false;
    DWORD valueType = REG_NONE;
    std::vector<BYTE> valueData;
};

// Registered before main runs, so it is in place before the first test of the program.
::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new EffectLogEnvironment);

} // namespace

std::size_t EffectLogEnd() {
    return ReadLogBytes().size();
}

std::vector<EffectLogLine> EffectLogLinesSince(std::size_t mark) {
    const std::string bytes = ReadLogBytes();
    std::vector<EffectLogLine> lines;
    for (size_t start = mark; start < bytes.size();) {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            end = bytes.size();
        }
        EffectLogLine line;
        if (ParseLine(bytes.substr(start, end - start), line)) {
            lines.push_back(line);
        }
        start = end + 2;
    }
    return lines;
}

std::string LogObjectField(const void* object) {
    char field[9];
    std::snprintf(field, sizeof(field), "%08X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(object)));
    return field;
}

} // namespace effecttest
