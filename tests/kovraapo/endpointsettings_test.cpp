// Initialize and the endpoint notifications: argument checks and their log lines, the values
// read from the endpoint's store, the registration for notifications and its failures, and
// the preset and reload each notification leads to.
#include "effectlog.h"
#include "endpointtestsupport.h"
#include "loghelper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace effecttest;

namespace {

constexpr UINT32 kAbsent = 0xFFFFFFFFu; // the property is not in the store

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

class EndpointSettingsTest : public EffectTest {
protected:
    void SetUp() override {
        EffectTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(com.result));
        logMark = EffectLogEnd();
    }

    void SetStoreValues(UINT32 enable, UINT32 mode) {
        if (enable != kAbsent) {
            store.SetUInt32(EnablePropertyKey, enable);
        }
        if (mode != kAbsent) {
            store.SetUInt32(ModePropertyKey, mode);
        }
    }

    // Messages of the lines written since the test started, each checked for its object.
    std::vector<std::string> LoggedMessages() const {
        std::vector<std::string> messages;
        for (const EffectLogLine& line : EffectLogLinesSince(logMark)) {
            EXPECT_EQ(line.object, LogObjectField(effect->PrimaryFace()));
            messages.push_back((line.isTrace ? "(TRACE) " : "") + line.message);
        }
        return messages;
    }

    static std::string StatusLine() {
        return "(TRACE) Kovra onetime Ambrel initialization status: " +
               Narrow(ResultCodeName(engineStartupResult.load()));
    }

    ComApartment com;
    EnumeratorProbeScope probe;
    EndpointStore store;
    EffectHolder effect{&registration};
    size_t logMark = 0;
};

// ---------------------------------------------------------------------------------------------
// Initialize

TEST_F(EndpointSettingsTest, RefusedArgumentsChangeNothing) {
    struct Case {
        UINT32 size;
        bool withRecord;
        HRESULT expected;
    };
    const Case cases[] = {{0, false, E_INVALIDARG}, {56, false, E_INVALIDARG},
                          {0, true, E_POINTER},     {55, true, E_INVALIDARG},
                          {57, true, E_INVALIDARG}, {0xFFFFFFFF, true, E_INVALIDARG}};
    store.SetUInt32(EnablePropertyKey, 1);
    const ULONG storeReferences = store.References();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << (c.withRecord ? " with" : " without"));
        logMark = EffectLogEnd();
        APOInitSystemEffects record = InitRecord(store.Get());
        BYTE* data = c.withRecord ? reinterpret_cast<BYTE*>(&record) : nullptr;
        EXPECT_EQ(effect->Initialize(c.size, data), c.expected);
        EXPECT_FALSE(effect->Initialized());
        EXPECT_FALSE(effect->HoldsEndpointStore());
        EXPECT_EQ(store.References(), storeReferences);
        EXPECT_EQ(effect->EnableProperty(), 0u);
        EXPECT_EQ(effect->FilterMode(), 2u);
        const std::vector<std::string> expected = {"(TRACE) Initialize", StatusLine(),
                                                   "Initialize failed"};
        EXPECT_EQ(LoggedMessages(), expected);
    }
    EXPECT_EQ(probe->created, 0);
}

TEST_F(EndpointSettingsTest, StatusLineNamesTheEngineStartResult) {
    const int32_t previous = engineStartupResult.exchange(KovraResult_kErrorNotAvailable);
    EXPECT_EQ(InitializeWith(effect.effect, store.Get()), S_OK);
    engineStartupResult = previous;
    const std::vector<std::string> expected = {
        "(TRACE) Initialize",
        "(TRACE) Kovra onetime Ambrel initialization status: KovraResult_kErrorNotAvailable"};
    EXPECT_EQ(LoggedMessages(), expected);
}

TEST_F(EndpointSettingsTest, EndpointValuesChooseThePreset) {
    struct Case {
        UINT32 enable, mode;
        UINT32 expectedEnable, expectedMode, expectedPreset;
    };
    const Case cases[] = {
        {1, 0, 1, 0, 0}, {0, 5, 0, 1, 1},       {kAbsent, kAbsent, 0, 0, 2},
        {1, 1, 1, 1, 2}, {7, kAbsent, 1, 0, 0}, {kAbsent, 0x80000000u, 0, 1, 1},
        {0, 0, 0, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.enable << "/" << c.mode);
        EndpointStore endpoint;
        if (c.enable != kAbsent) {
            endpoint.SetUInt32(EnablePropertyKey, c.enable);
        }
        if (c.mode != kAbsent) {
            endpoint.SetUInt32(ModePropertyKey, c.mode);
        }
        EffectHolder fresh(&registration);
        EXPECT_EQ(InitializeWith(fresh.effect, endpoint.Get()), S_OK);
        EXPECT_TRUE(fresh->Initialized());
        EXPECT_EQ(fresh->EnableProperty(), c.expectedEnable);
        EXPECT_EQ(fresh->ModeProperty(), c.expectedMode);
        EXPECT_EQ(fresh->FilterMode(), c.expectedPreset);
        EXPECT_EQ(fresh->ReloadPending(), 0u);
    }
}

TEST_F(EndpointSettingsTest, RecordWithoutStoreStillRegisters) {
    effect->SetFilterMode(0);
    EXPECT_EQ(InitializeWith(effect.effect, nullptr), S_OK);
    EXPECT_TRUE(effect->Initialized());
    EXPECT_FALSE(effect->HoldsEndpointStore());
    EXPECT_EQ(effect->FilterMode(), 2u);
    EXPECT_EQ(probe->registrations, 1);
    EXPECT_EQ(probe->registeredClient, static_cast<IMMNotificationClient*>(effect.effect));

    // No store to read from: a notification changes nothing.
    EXPECT_EQ(effect->OnPropertyValueChanged(L"endpoint", EnablePropertyKey), S_OK);
    EXPECT_EQ(effect->FilterMode(), 2u);
    EXPECT_EQ(effect->ReloadPending(), 0u);
}

// A reference the test can count, to see that a value of another type is cleared.
class CountedUnknown : public IUnknown {
public:
    virtual ~CountedUnknown() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    std::atomic<ULONG> references{1};
};

TEST_F(EndpointSettingsTest, ValuesOfOtherTypesCountAsZeroAndAreCleared) {
    CountedUnknown counted;
    wchar_t text[] = L"1";
    PROPVARIANT values[5];
    std::memset(values, 0, sizeof values);
    values[0].vt = VT_LPWSTR;
    values[0].pwszVal = text;
    values[1].vt = VT_BOOL;
    values[1].boolVal = VARIANT_TRUE;
    values[2].vt = VT_I4;
    values[2].lVal = 1;
    values[3].vt = VT_UI8;
    values[3].uhVal.QuadPart = 1;
    values[4].vt = VT_UNKNOWN;
    values[4].punkVal = &counted;
    for (const PROPVARIANT& value : values) {
        SCOPED_TRACE(value.vt);
        EndpointStore endpoint;
        endpoint.SetValue(EnablePropertyKey, value);
        endpoint.SetUInt32(ModePropertyKey, 1);
        const ULONG countedBefore = counted.references;
        EffectHolder fresh(&registration);
        EXPECT_EQ(InitializeWith(fresh.effect, endpoint.Get()), S_OK);
        EXPECT_EQ(fresh->EnableProperty(), 0u);
        EXPECT_EQ(fresh->FilterMode(), 1u); // enable counted as 0, mode 1
        EXPECT_EQ(counted.references, countedBefore) << "the value read was not cleared";

        // A notification that finds another type stores nothing and selects nothing.
        fresh->SetEndpointValues(1, 0);
        EXPECT_EQ(fresh->OnPropertyValueChanged(nullptr, EnablePropertyKey), S_OK);
        EXPECT_EQ(fresh->EnableProperty(), 1u);
        EXPECT_EQ(fresh->ReloadPending(), 0u);
        EXPECT_EQ(counted.references, countedBefore);
    }
}

TEST_F(EndpointSettingsTest, RepeatedInitializeKeepsTheFirstStoreAndRegistration) {
    store.SetUInt32(EnablePropertyKey, 1);
    ASSERT_EQ(InitializeWith(effect.effect, store.Get()), S_OK);
    EXPECT_EQ(effect->FilterMode(), 0u);

    EndpointStore other;
    other.SetUInt32(EnablePropertyKey, 1);
    const ULONG otherReferences = other.References();
    store.SetUInt32(EnablePropertyKey, 0);
    store.SetUInt32(ModePropertyKey, 3);
    EXPECT_EQ(InitializeWith(effect.effect, other.Get()), S_OK);
    EXPECT_EQ(other.References(), otherReferences) << "the second record's store was taken";
    EXPECT_EQ(effect->EnableProperty(), 0u); // read again from the first store
    EXPECT_EQ(effect->ModeProperty(), 1u);
    EXPECT_EQ(effect->FilterMode(), 1u);
    EXPECT_EQ(probe->created, 1);
    EXPECT_EQ(probe->registrations, 1);
}

TEST_F(EndpointSettingsTest, UnreadableValuesCountAsZeroWithoutFailingInitialize) {
    // Reads of the other key still succeed, so only the failing one counts as 0.
    FaultyStore faulty(store.Get());
    EffectHolder holding(&registration); // gone before the store it holds
    store.SetUInt32(EnablePropertyKey, 1);
    store.SetUInt32(ModePropertyKey, 1);
    faulty.FailReadsOf(ModePropertyKey, E_ACCESSDENIED);
    EXPECT_EQ(InitializeWith(holding.effect, &faulty), S_OK);
    EXPECT_EQ(holding->ModeProperty(), 0u);
    EXPECT_EQ(holding->FilterMode(), 0u);

    // A repeated Initialize reads again; an unreadable value is still no failure.
    faulty.FailReadsOf(EnablePropertyKey, E_FAIL);
    store.SetUInt32(ModePropertyKey, 0);
    EXPECT_EQ(InitializeWith(holding.effect, &faulty), S_OK);
    EXPECT_EQ(holding->EnableProperty(), 0u);
    EXPECT_EQ(holding->FilterMode(), 2u);
    EXPECT_TRUE(holding->Initialized());
    EXPECT_EQ(probe->registrations, 1);
}

TEST_F(EndpointSettingsTest, EnumeratorFailuresFailInitializeAndAllowARetry) {
    struct Case {
        const char* name;
        HRESULT createFailure;
        bool createNothing;
        HRESULT registerFailure;
        HRESULT expected;
    };
    const Case cases[] = {
        {"creation refused", E_OUTOFMEMORY, false, S_OK, E_OUTOFMEMORY},
        {"creation without enumerator", S_OK, true, S_OK, E_POINTER},
        {"registration refused", S_OK, false, E_ACCESSDENIED, E_ACCESSDENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EndpointStore endpoint;
        endpoint.SetUInt32(EnablePropertyKey, 1);
        EffectHolder fresh(&registration);
        fresh->SetFilterMode(1);
        probe->createFailure = c.createFailure;
        probe->createNothing = c.createNothing;
        probe->registerFailure = c.registerFailure;
        const size_t mark = EffectLogEnd();
        EXPECT_EQ(InitializeWith(fresh.effect, endpoint.Get()), c.expected);
        const std::vector<EffectLogLine> lines = EffectLogLinesSince(mark);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().message, "Initialize failed");
        EXPECT_FALSE(lines.back().isTrace);
        EXPECT_FALSE(fresh->Initialized());
        EXPECT_FALSE(fresh->HoldsDeviceEnumerator());
        EXPECT_EQ(probe->live.load(), 0);
        EXPECT_TRUE(fresh->HoldsEndpointStore()); // the store and values are already taken
        EXPECT_EQ(fresh->EnableProperty(), 1u);
        EXPECT_EQ(fresh->FilterMode(), 1u);

        // Once the platform cooperates, another Initialize registers after all.
        probe->createFailure = S_OK;
        probe->createNothing = false;
        probe->registerFailure = S_OK;
        const int registrationsBefore = probe->registrations;
        EXPECT_EQ(InitializeWith(fresh.effect, endpoint.Get()), S_OK);
        EXPECT_TRUE(fresh->Initialized());
        EXPECT_EQ(probe->registrations, registrationsBefore + 1);
        EXPECT_EQ(fresh->FilterMode(), 0u);
    }
}

TEST_F(EndpointSettingsTest, ReleaseUnregistersTheObject) {
    const LONG objectsBefore = objectCount.load();
    {
        EffectHolder fresh(&registration);
        ASSERT_EQ(InitializeWith(fresh.effect, store.Get()), S_OK);
        EXPECT_EQ(probe->unregistrations, 0);
    }
    EXPECT_EQ(objectCount.load(), objectsBefore);
    EXPECT_EQ(probe->unregistrations, 1);
    EXPECT_EQ(probe->unregisteredClient, probe->registeredClient);
    EXPECT_EQ(probe->live.load(), 0);
}

// The last reference may go while a notification is under way on the platform's thread. The
// platform's enumerator lets it finish before it unregisters; whether an enumerator does or not,
// the notification finishes with the object and its store alive, and the object goes after.
TEST_F(EndpointSettingsTest, NotificationUnderWayWhenTheLastReferenceGoes) {
    for (const bool unregisterWaits : {true, false}) {
        SCOPED_TRACE(unregisterWaits ? "Unregister waits" : "Unregister returns at once");
        probe->unregisterWaits = unregisterWaits;
        const int unregistrationsBefore = probe->unregistrations;
        const LONG objectsBefore = objectCount.load();
        FaultyStore faulty(store.Get());
        auto* fresh = new TestableKovraAPO(nullptr, &registration);
        ASSERT_EQ(InitializeWith(fresh, &faulty), S_OK);
        store.SetUInt32(EnablePropertyKey, 1);
        std::thread releasing;
        faulty.afterNextRead = [&] {
            releasing = std::thread([fresh] { fresh->Release(); });
            while (probe->unregistrations == unregistrationsBefore) {
                std::this_thread::yield();
            }
            // Time for a destructor that does not wait to release the store and free the object.
            std::this_thread::sleep_for(std::chrono::milliseconds(unregisterWaits ? 0 : 100));
            EXPECT_GT(faulty.references.load(), 1u) << "the store went under the notification";
            EXPECT_EQ(objectCount.load(), objectsBefore + 1) << "the object went under it";
        };
        EXPECT_EQ(probe->Notify(EnablePropertyKey), S_OK);
        releasing.join();
        EXPECT_EQ(faulty.references.load(), 1u);
        EXPECT_EQ(objectCount.load(), objectsBefore);
    }
}

TEST_F(EndpointSettingsTest, PlatformEnumeratorAcceptsTheRegistration) {
    // No probe in between: the platform's own enumerator, as the audio engine's process has.
    createDeviceEnumerator = CreatePlatformDeviceEnumerator;
    EXPECT_EQ(InitializeWith(effect.effect, store.Get()), S_OK);
    EXPECT_TRUE(effect->Initialized());
    EXPECT_TRUE(effect->HoldsDeviceEnumerator());
}

// ---------------------------------------------------------------------------------------------
// Notifications

TEST_F(EndpointSettingsTest, NotificationDecisionTable) {
    enum class Read { UInt32, OtherType, Fails };
    struct Case {
        const char* name;
        bool enableKey;              // else the mode key
        UINT32 enable, mode, preset; // stored before the notification
        Read read;
        UINT32 newValue;
        UINT32 expectedEnable, expectedMode, expectedPreset, expectedReload;
        HRESULT expectedResult;
    };
    const Case cases[] = {
        {"enable on, mode 0", true, 0, 0, 2, Read::UInt32, 1, 1, 0, 0, 1, S_OK},
        {"enable on keeps its value", true, 0, 0, 1, Read::UInt32, 9, 9, 0, 0, 1, S_OK},
        {"enable on, mode set", true, 0, 4, 1, Read::UInt32, 3, 3, 4, 1, 0, S_OK},
        {"enable off, mode 0", true, 1, 0, 0, Read::UInt32, 0, 0, 0, 0, 0, S_OK},
        {"enable off, mode set", true, 1, 2, 0, Read::UInt32, 0, 0, 2, 0, 0, S_OK},
        {"mode on, enable 0", false, 0, 0, 2, Read::UInt32, 4, 0, 4, 1, 1, S_OK},
        {"mode off, enable 0", false, 0, 1, 1, Read::UInt32, 0, 0, 0, 2, 1, S_OK},
        {"mode on, enable set", false, 1, 0, 0, Read::UInt32, 1, 1, 1, 0, 0, S_OK},
        {"mode off, enable set", false, 1, 1, 0, Read::UInt32, 0, 1, 0, 0, 0, S_OK},
        {"enable of another type", true, 0, 0, 2, Read::OtherType, 1, 0, 0, 2, 0, S_OK},
        {"mode of another type", false, 0, 0, 2, Read::OtherType, 1, 0, 0, 2, 0, S_OK},
        {"enable unreadable", true, 0, 0, 2, Read::Fails, 1, 0, 0, 2, 0, E_ACCESSDENIED},
        {"mode unreadable", false, 0, 1, 1, Read::Fails, 0, 0, 1, 1, 0, E_ACCESSDENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EndpointStore endpoint;
        FaultyStore faulty(endpoint.Get());
        EffectHolder fresh(&registration);
        ASSERT_EQ(InitializeWith(fresh.effect, &faulty), S_OK);
        fresh->SetEndpointValues(c.enable, c.mode);
        fresh->SetFilterMode(c.preset);

        const PROPERTYKEY& key = c.enableKey ? EnablePropertyKey : ModePropertyKey;
        if (c.read == Read::OtherType) {
            PROPVARIANT value;
            std::memset(&value, 0, sizeof value);
            value.vt = VT_I4;
            value.lVal = static_cast<LONG>(c.newValue);
            endpoint.SetValue(key, value);
        } else {
            endpoint.SetUInt32(key, c.newValue);
        }
        if (c.read == Read::Fails) {
            faulty.FailReadsOf(key, E_ACCESSDENIED);
        }
        EXPECT_EQ(fresh->OnPropertyValueChanged(L"endpoint", key), c.expectedResult);
        EXPECT_EQ(fresh->EnableProperty(), c.expectedEnable);
        EXPECT_EQ(fresh->ModeProperty(), c.expectedMode);
        EXPECT_EQ(fresh->FilterMode(), c.expectedPreset);
        EXPECT_EQ(fresh->ReloadPending(), c.expectedReload);
    }
}

TEST_F(EndpointSettingsTest, EveryNotificationThatSelectsRaisesTheReload) {
    ASSERT_EQ(InitializeWith(effect.effect, store.Get()), S_OK);
    store.SetUInt32(EnablePropertyKey, 1);
    EXPECT_EQ(effect->OnPropertyValueChanged(L"endpoint", EnablePropertyKey), S_OK);
    EXPECT_EQ(effect->ReloadPending(), 1u);
    effect->ClearReload(); // as the real-time routine does after reopening
    EXPECT_EQ(effect->OnPropertyValueChanged(L"endpoint", EnablePropertyKey), S_OK);
    EXPECT_EQ(effect->FilterMode(), 0u);
    EXPECT_EQ(effect->ReloadPending(), 1u) << "the preset already in force is selected again";
}

TEST_F(EndpointSettingsTest, OtherKeysAreAnsweredWithoutReadingTheStore) {
    FaultyStore faulty(store.Get());
    EffectHolder holding(&registration); // gone before the store it holds
    ASSERT_EQ(InitializeWith(holding.effect, &faulty), S_OK);
    store.SetUInt32(EnablePropertyKey, 1);
    const int readsBefore = faulty.reads;
    const PROPERTYKEY others[] = {
        {EnablePropertyKey.fmtid, 1},
        {ModePropertyKey.fmtid, 2},
        {{0x1DA5D803, 0xD492, 0x4EDD, {0x8C, 0x23, 0xE0, 0xC0, 0xFF, 0xEE, 0x7F, 0x0E}}, 0},
        {{0x9BBA1A71, 0xB911, 0x4369, {0x91, 0xB3, 0xDF, 0xD0, 0x16, 0x44, 0x05, 0x27}}, 0},
        {},
    };
    for (const PROPERTYKEY& key : others) {
        EXPECT_EQ(holding->OnPropertyValueChanged(L"endpoint", key), S_OK);
    }
    EXPECT_EQ(faulty.reads, readsBefore);
    EXPECT_EQ(holding->EnableProperty(), 0u);
    EXPECT_EQ(holding->FilterMode(), 2u);
    EXPECT_EQ(holding->ReloadPending(), 0u);
}

TEST_F(EndpointSettingsTest, AnyEndpointIdLeadsToARereadOfTheOwnStore) {
    const wchar_t* ids[] = {L"{0.0.0.00000000}.{5f2d8a1e-0000-4000-8000-000000000001}", L"",
                            nullptr};
    for (const wchar_t* id : ids) {
        EffectHolder fresh(&registration);
        ASSERT_EQ(InitializeWith(fresh.effect, store.Get()), S_OK);
        store.SetUInt32(ModePropertyKey, 1);
        EXPECT_EQ(fresh->OnPropertyValueChanged(id, ModePropertyKey), S_OK);
        EXPECT_EQ(fresh->FilterMode(), 1u);
        EXPECT_EQ(fresh->ReloadPending(), 1u);
        store.SetUInt32(ModePropertyKey, 0);
    }
}

TEST_F(EndpointSettingsTest, NotificationBeforeInitializeChangesNothing) {
    store.SetUInt32(EnablePropertyKey, 1);
    EXPECT_EQ(effect->OnPropertyValueChanged(L"endpoint", EnablePropertyKey), S_OK);
    EXPECT_EQ(effect->OnPropertyValueChanged(L"endpoint", ModePropertyKey), S_OK);
    EXPECT_EQ(effect->EnableProperty(), 0u);
    EXPECT_EQ(effect->FilterMode(), 2u);
    EXPECT_EQ(effect->ReloadPending(), 0u);
}

TEST_F(EndpointSettingsTest, DeviceEventsAreAcknowledgedOnly) {
    ASSERT_EQ(InitializeWith(effect.effect, store.Get()), S_OK);
    EXPECT_EQ(effect->OnDeviceStateChanged(L"endpoint", DEVICE_STATE_UNPLUGGED), S_OK);
    EXPECT_EQ(effect->OnDeviceAdded(nullptr), S_OK);
    EXPECT_EQ(effect->OnDeviceRemoved(L"endpoint"), S_OK);
    EXPECT_EQ(effect->OnDefaultDeviceChanged(eRender, eConsole, nullptr), S_OK);
    EXPECT_EQ(effect->FilterMode(), 2u);
    EXPECT_EQ(effect->ReloadPending(), 0u);
}

} // namespace
