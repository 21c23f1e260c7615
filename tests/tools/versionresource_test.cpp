// Every shipped binary carries a Windows version resource with the version of the project()
// call, read back the way Explorer's Properties and the INF tooling read it.
#include "programrun.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

using namespace ctltest;

// "1.0" from the project() call as the four numbers Windows keeps: 1.0.0.0.
std::vector<WORD> ProjectVersion() {
    std::vector<WORD> parts;
    for (const wchar_t* text = KOVRA_VERSION_WIDE; *text;) {
        wchar_t* end = nullptr;
        parts.push_back(static_cast<WORD>(std::wcstoul(text, &end, 10)));
        text = *end ? end + 1 : end;
    }
    parts.resize(4, 0);
    return parts;
}

std::wstring StringValue(std::vector<BYTE>& block, const wchar_t* name) {
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\040904B0\\" + std::wstring(name);
    if (!VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)) {
        return L"(none)";
    }
    return std::wstring(text, length > 0 ? length - 1 : 0);
}

TEST(VersionResource, EveryShippedBinaryCarriesTheProjectVersion) {
    const std::vector<WORD> version = ProjectVersion();
    for (const wchar_t* file :
         {L"KovraAPO.dll", L"KovraAPI_SHARED.dll", L"apohost.exe", L"kovractl.exe"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(file)));
        const std::wstring path = BesideTestProgram(file);
        std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
        ASSERT_FALSE(block.empty()) << "no version resource";
        ASSERT_TRUE(
            GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
        EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(version[1], version[0]));
        EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(version[3], version[2]));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwFileType, std::wcsstr(file, L".dll") ? DWORD{VFT_DLL} : DWORD{VFT_APP});
        EXPECT_EQ(StringValue(block, L"ProductVersion"), KOVRA_VERSION_WIDE);
        EXPECT_EQ(StringValue(block, L"OriginalFilename"), file);
    }
}

} // namespace
