// Installing and uninstalling KovraAPO in an endpoint's FX slots, against endpoint keys made in
// the test prefix's registry.
#include "ctltestsupport.h"
#include "fxslots.h"

#include <gtest/gtest.h>

namespace {

using namespace ctltest;

constexpr wchar_t kEndpointGuid[] = L"{7E57F1A0-0000-4000-8000-00000000C7A1}";
Value KovraIn(const wchar_t* slot) {
    return Text(slot, kKovraClsid);
}

class FxSlotsTest : public ::testing::Test {
protected:
    TestEndpoint endpoint{kEndpointGuid};

    std::vector<Value> Fx() const { return ValuesOf(endpoint.FxPath()); }
    std::vector<Value> Saved() const { return ValuesOf(endpoint.SavedPath()); }
};

// Other makers' values as they may be stored: without a terminator, as a string list, and a
// value of another slot that KovraAPO never touches.
const std::vector<Value> kOtherEffects = {
    Text(kPreMixSlot, L"{11111111-AAAA-4BBB-8CCC-000000000001}", false),
    Text(kStreamSlot, std::wstring(L"{22222222-AAAA-4BBB-8CCC-000000000002}\0\0", 40), false,
         REG_MULTI_SZ),
    Text(L"{d3993a3f-99c2-4402-b5ec-a92a0367664b},5", L"untouched"),
};

TEST_F(FxSlotsTest, InstallSavesWhatItReplacesAndUninstallPutsBackEveryByte) {
    WriteValues(endpoint.FxPath(), kOtherEffects);
    const std::vector<Value> before = Fx();
    ASSERT_EQ(before, kOtherEffects);

    const FxOutcome installed = InstallEffect(kEndpointGuid);
    ASSERT_EQ(installed.change, FxChange::Installed);
    const std::vector<Value> afterInstall = Fx();
    EXPECT_EQ(afterInstall,
              (std::vector<Value>{KovraIn(kPreMixSlot), KovraIn(kStreamSlot), before[2]}));
    EXPECT_EQ(Saved(), (std::vector<Value>{before[0], before[1]}));

    EXPECT_EQ(InstallEffect(kEndpointGuid).change, FxChange::AlreadyInstalled);
    EXPECT_EQ(Fx(), afterInstall);
    EXPECT_EQ(Saved(), (std::vector<Value>{before[0], before[1]}));

    EXPECT_EQ(UninstallEffect(kEndpointGuid).change, FxChange::Uninstalled);
    EXPECT_EQ(Fx(), before);
    EXPECT_FALSE(KeyExists(endpoint.SavedPath()));
}

TEST_F(FxSlotsTest, EmptySlotsAreEmptyAgainAndAKeyTheInstallMadeGoes) {
    for (const bool keyExisted : {true, false}) {
        if (keyExisted) {
            WriteValues(endpoint.FxPath(), {});
        }
        ASSERT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
        EXPECT_EQ(Fx(), (std::vector<Value>{KovraIn(kPreMixSlot), KovraIn(kStreamSlot)}));
        EXPECT_EQ(UninstallEffect(kEndpointGuid).change, FxChange::Uninstalled);
        EXPECT_TRUE(Fx().empty());
        EXPECT_EQ(KeyExists(endpoint.FxPath()), keyExisted) << "key existed: " << keyExisted;
        DeleteTree(endpoint.FxPath());
    }
}

TEST_F(FxSlotsTest, UninstallWithoutTheEffectChangesNothing) {
    WriteValues(endpoint.FxPath(), kOtherEffects);
    const std::vector<Value> before = Fx();
    EXPECT_EQ(UninstallEffect(kEndpointGuid).change, FxChange::NotInstalled);
    EXPECT_EQ(Fx(), before);
    EXPECT_FALSE(KeyExists(endpoint.SavedPath()));
    DeleteTree(endpoint.FxPath());
    EXPECT_EQ(UninstallEffect(kEndpointGuid).change, FxChange::NotInstalled);
    EXPECT_FALSE(KeyExists(endpoint.FxPath()));
}

TEST_F(FxSlotsTest, ASlotAnotherEffectTookSinceTheInstallIsLeftToIt) {
    WriteValues(endpoint.FxPath(), {kOtherEffects[0]});
    ASSERT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
    const Value newcomer = Text(kStreamSlot, L"{33333333-AAAA-4BBB-8CCC-000000000003}");
    WriteValues(endpoint.FxPath(), {newcomer});

    const FxOutcome removed = UninstallEffect(kEndpointGuid);
    EXPECT_EQ(removed.change, FxChange::Uninstalled);
    EXPECT_TRUE(removed.slotChanged[0]);
    EXPECT_FALSE(removed.slotChanged[1]);
    EXPECT_EQ(Fx(), (std::vector<Value>{kOtherEffects[0], newcomer}));
}

TEST_F(FxSlotsTest, ASlotThatAlreadyHoldsKovraKeepsWhatAnEarlierInstallSaved) {
    WriteValues(endpoint.FxPath(), kOtherEffects);
    ASSERT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
    // A driver update puts its own effect back into one slot; installing again takes it over
    // and saves it, while the other slot's saved value stays the original one.
    const Value driverEffect = Text(kStreamSlot, L"{44444444-AAAA-4BBB-8CCC-000000000004}");
    WriteValues(endpoint.FxPath(), {driverEffect});
    const FxOutcome again = InstallEffect(kEndpointGuid);
    EXPECT_EQ(again.change, FxChange::Installed);
    EXPECT_FALSE(again.slotChanged[0]);
    EXPECT_EQ(Saved(), (std::vector<Value>{kOtherEffects[0], driverEffect}));
    ASSERT_EQ(UninstallEffect(kEndpointGuid).change, FxChange::Uninstalled);
    EXPECT_EQ(Fx(), (std::vector<Value>{kOtherEffects[0], driverEffect, kOtherEffects[2]}));
}

TEST(FxSlotsEndpointKey, AnEndpointWithoutARegistryKeyIsReportedAndNothingIsCreated) {
    const std::wstring guid = L"{7E57F1A0-0000-4000-8000-00000000DEAD}";
    DeleteTree(kRenderEndpoints + guid);
    for (const auto& change : {InstallEffect(guid), UninstallEffect(guid)}) {
        EXPECT_EQ(change.change, FxChange::NoEndpointKey);
        EXPECT_EQ(change.keyPath, kRenderEndpoints + guid);
    }
    EXPECT_FALSE(KeyExists(kRenderEndpoints + guid));
    EXPECT_FALSE(KeyExists(kReplacedEffects + guid));
}

TEST(FxSlotsText, HoldsKovraAPOReadsStringsAndListsInAnyCase) {
    const struct {
        Value value;
        bool holds;
    } cases[] = {
        {Text(L"", L"{faf1ce67-1b93-41fd-8de6-83da87d38a92}"), true},
        {Text(L"", kKovraClsid, false), true},
        {Text(L"", std::wstring(L"{X}\0", 4) + kKovraClsid + L'\0', true, REG_MULTI_SZ), true},
        {Text(L"", kKovraClsid, true, REG_BINARY), false},
        {Text(L"", L"{FAF1CE67-1B93-41FD-8DE6-83DA87D38A93}"), false},
        {Text(L"", L""), false},
    };
    for (size_t index = 0; index < std::size(cases); ++index) {
        const RawValue raw{cases[index].value.type, cases[index].value.data};
        EXPECT_EQ(HoldsKovraAPO(raw), cases[index].holds) << "case " << index;
    }
}

} // namespace
