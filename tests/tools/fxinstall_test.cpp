// Uninstalling KovraAPO where the endpoint changed since the install, or where no backup says
// what it held, against endpoint keys made in the test prefix's registry. Every layout's round
// trip runs through the program itself (kovractlprogram_test.cpp).
#include "fxinstall.h"
#include "fxlayouts.h"

#include <gtest/gtest.h>

namespace {

using namespace ctltest;

constexpr wchar_t kEndpointGuid[] = L"{7E57F1A0-0000-4000-8000-00000000C7A1}";

class FxInstallTest : public ::testing::Test {
protected:
    TestEndpoint endpoint{kEndpointGuid};

    std::vector<Value> Fx() const { return ValuesOf(endpoint.FxPath()); }
    bool Backup() const { return KeyExists(endpoint.SavedPath()); }
};

// What other programs did to the endpoint between install and uninstall is kept.
TEST_F(FxInstallTest, ChangesMadeSinceTheInstallStay) {
    const struct {
        const char* name;
        std::vector<Value> before;
        std::vector<Value> since; // written over the installed values
        std::vector<Value> afterUninstall;
    } cases[] = {
        {"a driver added to the stream list",
         {List(kCompositeStream, {kForeignA})},
         {List(kCompositeStream, {kForeignA, kKovraClsid, kForeignB})},
         {List(kCompositeStream, {kForeignA, kForeignB})}},
        {"a driver changed the processing modes",
         {},
         {List(kStreamModes, {kDefaultMode, kOtherMode})},
         {List(kStreamModes, {kDefaultMode, kOtherMode})}},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.name);
        DeleteTree(endpoint.FxPath());
        WriteValues(endpoint.FxPath(), entry.before);
        ASSERT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
        WriteValues(endpoint.FxPath(), entry.since);
        const FxOutcome outcome = UninstallEffect(kEndpointGuid, false);
        EXPECT_EQ(outcome.change, FxChange::Uninstalled);
        EXPECT_EQ(Fx(), Sorted(entry.afterUninstall));
        EXPECT_FALSE(Backup());
    }
}

// The processing modes install added hold what drivers write too: once a driver has written the
// endpoint since, the re-install cannot tell them from the driver's, and leaves them to it.
TEST_F(FxInstallTest, AValueTakenBackByTheDriverIsSavedAgainOnTheNextInstall) {
    const std::vector<Value> original = {Text(kStreamSlot, kForeignA), Text(kModeSlot, kForeignB)};
    WriteValues(endpoint.FxPath(), original);
    ASSERT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
    const Value driverUpdate = Text(kStreamSlot, kForeignC);
    WriteValues(endpoint.FxPath(), {driverUpdate});
    EXPECT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
    ASSERT_EQ(UninstallEffect(kEndpointGuid, false).change, FxChange::Uninstalled);
    EXPECT_EQ(Fx(), Sorted({driverUpdate, original[1], List(kStreamModes, {kDefaultMode})}));
}

TEST_F(FxInstallTest, WithoutABackupUninstallRefusesUnlessForced) {
    const std::vector<Value> installed = {List(kCompositeStream, {kForeignA, kKovraClsid}),
                                          Kovra(kPreMixSlot), Text(kPostMixSlot, kForeignB)};
    WriteValues(endpoint.FxPath(), installed); // as a driver package's INF may leave it
    const FxOutcome refused = UninstallEffect(kEndpointGuid, false);
    EXPECT_EQ(refused.change, FxChange::NoBackup);
    EXPECT_EQ(refused.values.size(), 2u);
    EXPECT_EQ(Fx(), Sorted(installed));

    EXPECT_EQ(UninstallEffect(kEndpointGuid, true).change, FxChange::Uninstalled);
    EXPECT_EQ(Fx(), Sorted({List(kCompositeStream, {kForeignA}), Text(kPostMixSlot, kForeignB)}));
}

TEST_F(FxInstallTest, AnEffectWrittenOverSinceTheInstallStaysAndItsRecordIsSettled) {
    WriteValues(endpoint.FxPath(), {Text(kStreamSlot, kForeignA)});
    ASSERT_EQ(InstallEffect(kEndpointGuid).change, FxChange::Installed);
    WriteValues(endpoint.FxPath(), {Text(kStreamSlot, kForeignB)});
    const FxOutcome outcome = UninstallEffect(kEndpointGuid, false);
    EXPECT_EQ(outcome.change, FxChange::Uninstalled);
    EXPECT_FALSE(outcome.effectFound);
    EXPECT_EQ(outcome.values.front().how, FxValueChange::How::TakenSince);
    EXPECT_EQ(Fx(), (std::vector<Value>{Text(kStreamSlot, kForeignB)}));
    EXPECT_FALSE(Backup());
}

TEST_F(FxInstallTest, ARecordFromVersionOneIsPutBackToo) {
    // Version 1.0 wrote both slots and saved only what they held, without a list of names.
    WriteValues(endpoint.FxPath(), {Kovra(kPreMixSlot), Kovra(kStreamSlot)});
    WriteValues(endpoint.SavedPath(), {Text(kPreMixSlot, kForeignA)});
    EXPECT_EQ(UninstallEffect(kEndpointGuid, false).change, FxChange::Uninstalled);
    EXPECT_EQ(Fx(), (std::vector<Value>{Text(kPreMixSlot, kForeignA)}));
}

TEST(FxInstallEndpointKey, AnEndpointWithoutARegistryKeyIsReportedAndNothingIsCreated) {
    const std::wstring guid = L"{7E57F1A0-0000-4000-8000-00000000DEAD}";
    DeleteTree(kRenderEndpoints + guid);
    for (const auto& change : {InstallEffect(guid), UninstallEffect(guid, true)}) {
        EXPECT_EQ(change.change, FxChange::NoEndpointKey);
        EXPECT_EQ(change.keyPath, kRenderEndpoints + guid);
    }
    EXPECT_FALSE(KeyExists(kRenderEndpoints + guid));
    EXPECT_FALSE(KeyExists(kReplacedEffects + guid));
}

TEST(FxLayoutText, HoldsKovraAPOReadsStringsAndListsInAnyCase) {
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
