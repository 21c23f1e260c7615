// What the module does while it loads: the engine's one-time initialisation with the fixed
// configuration path, and the registration record's values.
#include "kovraapo.h"
#include "kovraids.h"
#include "modulestate.h"
#include "recordingengine.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

using recordingengine::Call;

// The engine calls made before the first test, captured before any test clears the recording.
std::vector<recordingengine::Record> loadTimeCalls;

class LoadTimeCalls : public ::testing::Environment {
public:
    void SetUp() override { loadTimeCalls = recordingengine::Calls(); }
};

const ::testing::Environment* const loadTimeEnvironment =
    ::testing::AddGlobalTestEnvironment(new LoadTimeCalls);

TEST(ModuleLoad, EngineIsInitialisedOnceWithTheFixedConfiguration) {
    ASSERT_EQ(loadTimeCalls.size(), 1u);
    EXPECT_EQ(loadTimeCalls[0].call, Call::Initialize);
    EXPECT_STREQ(loadTimeCalls[0].name,
                 "C:\\Windows\\System32\\kovramobile_RELEASE_TESSARY_QXN2207.config");
    EXPECT_EQ(engineStartupResult.load(), KovraResult_kOk);
}

TEST(ModuleLoad, RegistrationRecordHoldsTheProductsValues) {
    const APO_REG_PROPERTIES& record = registrationProperties;
    EXPECT_TRUE(IsEqualCLSID(record.clsid, CLSID_KovraAPO));
    EXPECT_EQ(record.Flags, 12);
    EXPECT_STREQ(record.szFriendlyName, L"KovraAPO");
    const std::wstring notice(record.szCopyrightInfo, wcsnlen(record.szCopyrightInfo, 256));
    EXPECT_FALSE(notice.empty());
    EXPECT_LT(notice.size(), 256u) << "the notice must be terminated";
    EXPECT_EQ(notice.find_first_of(L"\r\n"), std::wstring::npos) << "one line";
    EXPECT_EQ(record.u32MajorVersion, 1u);
    EXPECT_EQ(record.u32MinorVersion, 0u);
    EXPECT_EQ(record.u32MinInputConnections, 1u);
    EXPECT_EQ(record.u32MaxInputConnections, 1u);
    EXPECT_EQ(record.u32MinOutputConnections, 1u);
    EXPECT_EQ(record.u32MaxOutputConnections, 1u);
    EXPECT_EQ(record.u32MaxInstances, 3u);
    EXPECT_EQ(record.u32NumAPOInterfaces, 1u);
    EXPECT_TRUE(IsEqualIID(record.iidAPOInterfaceList[0], IID_IAudioProcessingObject));
}

} // namespace
