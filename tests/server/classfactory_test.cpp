// The module's class objects: DllGetClassObject, the factory's creation rules, the server lock
// and what DllCanUnloadNow makes of all of them.
#include "classfactory.h"
#include "kovraapo.h"
#include "kovraids.h"
#include "modulestate.h"
#include "serverexports.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// {0B8D4A52-6C8E-4B1D-9D0A-3E62F1C7A401}: a class this module does not serve.
constexpr CLSID kForeignClsid = {
    0x0B8D4A52, 0x6C8E, 0x4B1D, {0x9D, 0x0A, 0x3E, 0x62, 0xF1, 0xC7, 0xA4, 0x01}};

void* const kGarbage = reinterpret_cast<void*>(0x5A5A5A5A);

// An aggregating object that only counts; the tests hold the inner object's unknown.
class CountingOuter : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

class ClassObjects : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(objectCount.load(), 0) << "an earlier test left an object alive";
        ASSERT_EQ(lockCount.load(), 0) << "an earlier test left the server locked";
        ASSERT_EQ(DllGetClassObject(CLSID_KovraAPO, IID_IClassFactory,
                                    reinterpret_cast<void**>(&factory)),
                  S_OK);
    }
    void TearDown() override {
        if (factory) {
            EXPECT_EQ(factory->Release(), 0u);
        }
    }

    IClassFactory* factory = nullptr;
};

TEST(DllGetClassObjectTest, ForeignClassIsNotAvailableAndNullsTheOutPointer) {
    void* out = kGarbage;
    EXPECT_EQ(DllGetClassObject(kForeignClsid, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
}

TEST(DllGetClassObjectTest, UnknownAndClassFactoryGiveANewFactoryWithOneReference) {
    for (const IID& iid : {IID_IUnknown, IID_IClassFactory}) {
        IUnknown* first = nullptr;
        IUnknown* second = nullptr;
        ASSERT_EQ(DllGetClassObject(CLSID_KovraAPO, iid, reinterpret_cast<void**>(&first)), S_OK);
        ASSERT_EQ(DllGetClassObject(CLSID_KovraAPO, iid, reinterpret_cast<void**>(&second)), S_OK);
        EXPECT_NE(first, second);
        EXPECT_EQ(first->AddRef(), 2u);
        EXPECT_EQ(first->Release(), 1u);
        EXPECT_EQ(first->Release(), 0u);
        EXPECT_EQ(second->Release(), 0u);
    }
}

TEST(DllGetClassObjectTest, OtherInterfacesAreRefused) {
    for (const IID& iid : {IID_IAudioProcessingObject, IID_IAudioMediaType}) {
        void* out = kGarbage;
        EXPECT_EQ(DllGetClassObject(CLSID_KovraAPO, iid, &out), E_NOINTERFACE);
        EXPECT_EQ(out, nullptr);
    }
}

TEST(DllGetClassObjectTest, NullOutPointerIsRefused) {
    EXPECT_EQ(DllGetClassObject(CLSID_KovraAPO, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ClassObjects, FactoryAnswersUnknownAndClassFactoryWithItself) {
    void* unknown = nullptr;
    void* classFactory = nullptr;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, &unknown), S_OK);
    ASSERT_EQ(factory->QueryInterface(IID_IClassFactory, &classFactory), S_OK);
    EXPECT_EQ(unknown, static_cast<void*>(factory));
    EXPECT_EQ(classFactory, static_cast<void*>(factory));
    void* other = kGarbage;
    EXPECT_EQ(factory->QueryInterface(IID_IAudioProcessingObject, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->Release(), 2u);
    EXPECT_EQ(factory->Release(), 1u);
}

TEST_F(ClassObjects, HeldFactoryAloneLetsTheModuleUnload) {
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ClassObjects, LockServerKeepsTheModuleUntilBalanced) {
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ClassObjects, UnmatchedUnlockGoesBelowZeroUntilALaterLock) {
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(lockCount.load(), -1);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(lockCount.load(), 0);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ClassObjects, StandaloneObjectKeepsTheModuleUntilItsLastRelease) {
    IAudioProcessingObject* effect = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IAudioProcessingObject,
                                      reinterpret_cast<void**>(&effect)),
              S_OK);
    EXPECT_EQ(objectCount.load(), 1);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(effect->AddRef(), 2u);
    EXPECT_EQ(effect->Release(), 1u);
    EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(effect->Release(), 0u);
    EXPECT_EQ(objectCount.load(), 0);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ClassObjects, InterfaceTheObjectDoesNotAnswerCreatesNothingLasting) {
    void* out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(objectCount.load(), 0);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ClassObjects, AggregationMustAskForIUnknown) {
    CountingOuter outer;
    void* out = kGarbage;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IAudioProcessingObject, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(objectCount.load(), 0);
    EXPECT_EQ(outer.references, 1u);
}

TEST_F(ClassObjects, AggregatedCreationHandsOutTheInnerUnknown) {
    CountingOuter outer;
    IUnknown* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              S_OK);
    EXPECT_EQ(objectCount.load(), 1);
    EXPECT_EQ(outer.references, 1u) << "the outer unknown is held without a reference";
    // The inner unknown answers the faces; their references go to the aggregator.
    void* rt = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IAudioProcessingObjectRT, &rt), S_OK);
    EXPECT_EQ(outer.references, 2u);
    static_cast<IUnknown*>(rt)->Release();
    EXPECT_EQ(outer.references, 1u);
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(objectCount.load(), 0);
    EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST_F(ClassObjects, NullOutPointerCreatesNothing) {
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IAudioProcessingObject, nullptr), E_POINTER);
    EXPECT_EQ(objectCount.load(), 0);
}

TEST_F(ClassObjects, CreatedObjectsShareTheModulesRegistrationRecord) {
    IAudioProcessingObject* effect = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IAudioProcessingObject,
                                      reinterpret_cast<void**>(&effect)),
              S_OK);
    APO_REG_PROPERTIES* copy = nullptr;
    ASSERT_EQ(effect->GetRegistrationProperties(&copy), S_OK);
    EXPECT_NE(copy, &registrationProperties);
    EXPECT_EQ(std::memcmp(copy, &registrationProperties, sizeof registrationProperties), 0);
    CoTaskMemFree(copy);
    effect->Release();
}

} // namespace
