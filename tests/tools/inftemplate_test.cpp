// The INF template registers what the DLL's own registration writes, value for value, and writes
// the FX values kovractl writes on an endpoint that has no effects, byte for byte. The DLL is
// registered with regsvr32 in the test prefix and the registry compared with the template's AddReg
// lines.
#include "fxlayout.h"
#include "fxlayouts.h"
#include "programrun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace {

using namespace ctltest;

using Section = std::vector<std::string>;

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    const size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::string Unquoted(const std::string& text) {
    const std::string trimmed = Trimmed(text);
    return trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"'
               ? trimmed.substr(1, trimmed.size() - 2)
               : trimmed;
}

std::map<std::string, Section> ReadInf() {
    std::ifstream file(KOVRA_INF_TEMPLATE);
    std::map<std::string, Section> sections;
    Section* current = nullptr;
    for (std::string line; std::getline(file, line);) {
        line = Trimmed(line);
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (line[0] == '[') {
            current = &sections[line.substr(1, line.find(']') - 1)];
        } else if (current) {
            current->push_back(line);
        }
    }
    return sections;
}

class InfTemplate : public ::testing::Test {
protected:
    InfTemplate() : sections(ReadInf()) {
        for (const std::string& line : sections["Strings"]) {
            const size_t equals = line.find('=');
            strings[Trimmed(line.substr(0, equals))] = Unquoted(line.substr(equals + 1));
        }
    }

    std::string Expanded(std::string text) {
        for (size_t start; (start = text.find('%')) != std::string::npos;) {
            const size_t end = text.find('%', start + 1);
            const std::string name = text.substr(start + 1, end - start - 1);
            text.replace(start, end - start + 1,
                         strings.count(name) ? strings[name] : "<" + name + ">");
        }
        return text;
    }

    // The AddReg lines of `section` under `subkey`, as registry values.
    std::vector<Value> AddRegValues(const std::string& section, const std::string& subkey) {
        std::vector<Value> values;
        for (const std::string& line : sections[section]) {
            std::vector<std::string> fields;
            std::stringstream stream(line);
            for (std::string field; std::getline(stream, field, ',');) {
                fields.push_back(Unquoted(field));
            }
            fields.resize(5);
            if (Expanded(fields[1]) != subkey) {
                continue;
            }
            const std::wstring name = Wide(Expanded(fields[2]));
            const std::string data = Expanded(fields[4]);
            if (fields[3] == "0x00010001") {
                values.push_back(Dword(name, std::strtoul(data.c_str(), nullptr, 0)));
            } else if (fields[3] == "0x00010000") {
                values.push_back(List(name, {Wide(data)}));
            } else {
                EXPECT_EQ(fields[3], "") << line;
                values.push_back(Text(name, Wide(data)));
            }
        }
        std::sort(values.begin(), values.end(),
                  [](const Value& a, const Value& b) { return a.name < b.name; });
        return values;
    }

    static std::wstring Wide(const std::string& text) { return {text.begin(), text.end()}; }

    std::map<std::string, Section> sections;
    std::map<std::string, std::string> strings;
};

TEST_F(InfTemplate, RegistersTheComClassAndTheEngineEntryAsTheDllDoes) {
    ASSERT_FALSE(sections["Strings"].empty()) << "cannot read " << KOVRA_INF_TEMPLATE;
    const std::string clsid = strings["KovraAPO_CLSID"];
    EXPECT_EQ(Wide(clsid), kKovraClsid);
    ASSERT_EQ(Regsvr32(L"/s"), 0u);
    const std::wstring entry = L"AudioEngine\\AudioProcessingObjects\\" + Wide(clsid);
    const std::wstring classKey = L"SOFTWARE\\Classes\\CLSID\\" + Wide(clsid);
    const std::vector<Value> engineEntry = ValuesOf(entry, HKEY_CLASSES_ROOT);
    const std::vector<Value> classValues = ValuesOf(classKey);
    std::vector<Value> serverValues = ValuesOf(classKey + L"\\InprocServer32");
    Regsvr32(L"/s /u");

    EXPECT_EQ(
        AddRegValues("KovraAPO_APORegistration", "AudioEngine\\AudioProcessingObjects\\" + clsid),
        engineEntry);
    EXPECT_EQ(AddRegValues("KovraAPO_COMRegistration", "CLSID\\" + clsid), classValues);
    // The module's path is the driver store's in the INF and the build folder's here.
    std::vector<Value> infServer =
        AddRegValues("KovraAPO_COMRegistration", "CLSID\\" + clsid + "\\InprocServer32");
    ASSERT_EQ(infServer.size(), 2u);
    ASSERT_EQ(serverValues.size(), 2u);
    EXPECT_EQ(infServer[0], Text(L"", L"<13>\\KovraAPO.dll"));
    infServer[0] = serverValues[0] = Text(L"", L"module path");
    EXPECT_EQ(infServer, serverValues);
}

std::vector<Value> Lowered(std::vector<Value> values) {
    for (Value& value : values) {
        std::transform(value.name.begin(), value.name.end(), value.name.begin(), towlower);
    }
    return Sorted(values);
}

TEST_F(InfTemplate, WritesTheFxValuesKovractlWritesOnAnEndpointWithoutEffects) {
    std::vector<Value> kovractl;
    for (const FxWrite& write : PlanInstall(FxLayout::NoKey, {})) {
        kovractl.push_back({write.name, write.value.type, write.value.data});
    }
    ASSERT_EQ(kovractl.size(), 3u);
    EXPECT_EQ(Lowered(AddRegValues("KovraAPO_FxRegistration", "FX\\\\0")), Lowered(kovractl));
}

} // namespace
