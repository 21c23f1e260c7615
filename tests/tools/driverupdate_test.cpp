// A driver update while KovraAPO is installed: Windows Update or a vendor installer writes the
// driver's effects back over the endpoint, some of them with exactly the values kovractl writes.
// No value of the driver's may be lost, and the README's uninstall steps must end with nothing of
// KovraAPO's left, on every layout. kovractl.exe runs as a user runs it.
#include "fxlayouts.h"
#include "programrun.h"

#include <gtest/gtest.h>

namespace {

using namespace ctltest;

constexpr wchar_t kSpeakersGuid[] = L"{7E57F1A0-0000-4000-8000-0000000000D1}";

struct DriverUpdateCase {
    const char* layout;
    std::vector<Value> before;
    // Re-install after the update, then uninstall: the update writes the association
    // {00000000-…}, the driver's own stream effect and the default processing mode, as real
    // drivers do, which are the values kovractl writes on an endpoint without effects.
    std::vector<Value> updateBeforeReinstall;
    std::vector<Value> afterReinstallAndUninstall;
    // uninstall --all, then cleanup: the update writes the driver's stream effect back alone.
    std::vector<Value> updateBeforeUninstall;
    std::vector<Value> afterUninstallAll;
};

const std::vector<Value> kDriverValues = {Text(kAssociation, kNodeTypeAny),
                                          Text(kStreamSlot, kForeignC),
                                          List(kStreamModes, {kDefaultMode})};

const DriverUpdateCase kDriverUpdates[] = {
    {"legacy",
     {Text(kPreMixSlot, kForeignA, false), Text(kPostMixSlot, kForeignB)},
     kDriverValues,
     {Text(kAssociation, kNodeTypeAny), Text(kPreMixSlot, kForeignA, false),
      Text(kPostMixSlot, kForeignB), Text(kStreamSlot, kForeignC),
      List(kStreamModes, {kDefaultMode})},
     {Text(kPreMixSlot, kForeignA)},
     {Text(kPreMixSlot, kForeignA), Text(kPostMixSlot, kForeignB)}},
    {"modern",
     {Text(kStreamSlot, kForeignA), Text(kEndpointSlot, kForeignB)},
     {Text(kAssociation, kNodeTypeAny), Text(kStreamSlot, kForeignA),
      List(kStreamModes, {kDefaultMode})},
     {Text(kAssociation, kNodeTypeAny), Text(kStreamSlot, kForeignA),
      Text(kEndpointSlot, kForeignB), List(kStreamModes, {kDefaultMode})},
     {Text(kStreamSlot, kForeignA)},
     {Text(kStreamSlot, kForeignA), Text(kEndpointSlot, kForeignB)}},
    {"composite",
     {List(kCompositeStream, {kForeignA, kForeignB}), List(kCompositeEndpoint, {kForeignC})},
     {Text(kAssociation, kNodeTypeAny), List(kCompositeStream, {kForeignA, kForeignB}),
      List(kStreamModes, {kDefaultMode})},
     {Text(kAssociation, kNodeTypeAny), List(kCompositeStream, {kForeignA, kForeignB}),
      List(kCompositeEndpoint, {kForeignC}), List(kStreamModes, {kDefaultMode})},
     {List(kCompositeStream, {kForeignA, kForeignB})},
     {List(kCompositeStream, {kForeignA, kForeignB}), List(kCompositeEndpoint, {kForeignC})}},
    {"empty key",
     {},
     kDriverValues,
     kDriverValues,
     {Text(kStreamSlot, kForeignC)},
     {Text(kStreamSlot, kForeignC)}},
};

class DriverUpdate : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Regsvr32(L"/s"), 0u); }
    void TearDown() override { Regsvr32(L"/s /u"); }

    void Run(const wchar_t* arguments, DWORD exitCode) {
        const ProgramRun run = RunKovractl(arguments);
        EXPECT_EQ(run.exitCode, exitCode)
            << "kovractl " << testing::PrintToString(arguments) << "\n"
            << run.out << run.err;
    }

    void Arrange(const std::vector<Value>& before) {
        DeleteTree(speakers.FxPath());
        DeleteTree(kReplacedEffects + speakers.guid);
        WriteValues(speakers.FxPath(), before);
        Run(L"install speakers", 0);
    }

    TestEndpoint speakers{kSpeakersGuid, L"Kovra Update Speakers"};
};

TEST_F(DriverUpdate, AReinstallAfterTheUpdateTakesTheDriversValuesAsTheNewBefore) {
    for (const DriverUpdateCase& entry : kDriverUpdates) {
        SCOPED_TRACE(entry.layout);
        Arrange(entry.before);
        WriteValues(speakers.FxPath(), entry.updateBeforeReinstall);
        Run(L"install speakers", 0);
        Run(L"uninstall speakers", 0);
        EXPECT_EQ(ValuesOf(speakers.FxPath()), Sorted(entry.afterReinstallAndUninstall));
        EXPECT_FALSE(KeyExists(speakers.SavedPath()));
    }
}

TEST_F(DriverUpdate, UninstallAllAfterTheUpdateTakesBackWhatIsStillOursAndCleanupFinishes) {
    for (const DriverUpdateCase& entry : kDriverUpdates) {
        SCOPED_TRACE(entry.layout);
        Arrange(entry.before);
        WriteValues(speakers.FxPath(), entry.updateBeforeUninstall);
        Run(L"uninstall --all", 0);
        EXPECT_EQ(ValuesOf(speakers.FxPath()), Sorted(entry.afterUninstallAll));
        Run(L"cleanup", 0);
        EXPECT_FALSE(KeyExists(L"SOFTWARE\\KovraAPO"));
    }
}

} // namespace
