// The effect object's COM identity: six faces of one object, their IUnknown methods reaching the
// controlling unknown, and the object's own count behind the non-delegating face.
#include "kovraapo.h"
#include "modulestate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

const IID kFaces[] = {IID_IUnknown,
                      IID_IAudioProcessingObject,
                      IID_IAudioProcessingObjectRT,
                      IID_IAudioProcessingObjectConfiguration,
                      IID_IAudioSystemEffects,
                      __uuidof(IMMNotificationClient)};

// The non-delegating face, called through IUnknown's slots as an aggregator calls it.
IUnknown* AsUnknown(INonDelegatingUnknown* inner) {
    return reinterpret_cast<IUnknown*>(inner);
}

IUnknown* Face(KovraAPO* effect, REFIID iid) {
    void* face = nullptr;
    EXPECT_EQ(effect->InnerQueryInterface(iid, &face), S_OK);
    return static_cast<IUnknown*>(face);
}

// The object's own count: one InnerAddRef and InnerRelease show it without moving it.
ULONG OwnCount(KovraAPO* effect) {
    effect->InnerAddRef();
    return effect->InnerRelease();
}

// An aggregating object: counts its own references and remembers what it was asked for.
class TestAggregator : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        ++queries;
        lastQuery = riid;
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }

    std::atomic<ULONG> references{1};
    int queries = 0;
    IID lastQuery{};
};

class StandaloneEffect : public ::testing::Test {
protected:
    void SetUp() override {
        countBefore = objectCount.load();
        effect = new KovraAPO(nullptr, &registrationProperties);
    }
    void TearDown() override {
        if (effect) {
            EXPECT_EQ(effect->InnerRelease(), 0u);
        }
        EXPECT_EQ(objectCount.load(), countBefore);
    }

    KovraAPO* effect = nullptr;
    LONG countBefore = 0;
};

TEST_F(StandaloneEffect, EveryFaceAnswersIUnknownWithTheNonDelegatingFace) {
    for (const IID& iid : kFaces) {
        IUnknown* face = Face(effect, iid);
        void* identity = nullptr;
        ASSERT_EQ(face->QueryInterface(IID_IUnknown, &identity), S_OK);
        EXPECT_EQ(identity, static_cast<void*>(effect->InnerUnknown()));
        static_cast<IUnknown*>(identity)->Release();
        face->Release();
    }
    EXPECT_EQ(OwnCount(effect), 1u);
}

TEST_F(StandaloneEffect, EveryFaceReachesEveryOtherFace) {
    for (const IID& from : kFaces) {
        IUnknown* face = Face(effect, from);
        for (const IID& to : kFaces) {
            void* other = nullptr;
            EXPECT_EQ(face->QueryInterface(to, &other), S_OK);
            ASSERT_NE(other, nullptr);
            static_cast<IUnknown*>(other)->Release();
        }
        face->Release();
    }
    EXPECT_EQ(OwnCount(effect), 1u);
}

TEST_F(StandaloneEffect, AddRefOnOneFaceAndReleaseOnAnotherBalance) {
    IUnknown* rt = Face(effect, IID_IAudioProcessingObjectRT);
    IUnknown* notifications = Face(effect, __uuidof(IMMNotificationClient));
    EXPECT_EQ(rt->AddRef(), 4u);
    EXPECT_EQ(notifications->Release(), 3u);
    rt->Release();
    notifications->Release();
    EXPECT_EQ(OwnCount(effect), 1u);
}

TEST_F(StandaloneEffect, UnknownInterfaceIsRefusedWithNullAndNoCountChange) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(effect->InnerQueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(effect->PrimaryFace()->QueryInterface(IID_IAudioMediaType, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(OwnCount(effect), 1u);
}

TEST_F(StandaloneEffect, NullOutPointerIsRefusedWithoutCountChange) {
    EXPECT_EQ(effect->InnerQueryInterface(IID_IAudioProcessingObject, nullptr), E_POINTER);
    EXPECT_EQ(effect->PrimaryFace()->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(OwnCount(effect), 1u);
}

TEST_F(StandaloneEffect, ReleaseThroughAnyFaceDestroysAtZero) {
    IUnknown* effects = Face(effect, IID_IAudioSystemEffects);
    EXPECT_EQ(effect->InnerRelease(), 1u); // the construction reference
    EXPECT_EQ(objectCount.load(), countBefore + 1);
    EXPECT_EQ(effects->Release(), 0u);
    EXPECT_EQ(objectCount.load(), countBefore);
    effect = nullptr;
}

TEST_F(StandaloneEffect, ConcurrentReferencesOnDifferentFacesBalance) {
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (const IID& iid : kFaces) {
        IUnknown* face = Face(effect, iid);
        threads.emplace_back([face] {
            for (int round = 0; round < kRounds; ++round) {
                face->AddRef();
                face->Release();
            }
            face->Release();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(OwnCount(effect), 1u);
}

class AggregatedEffect : public ::testing::Test {
protected:
    void SetUp() override {
        countBefore = objectCount.load();
        effect = new KovraAPO(&aggregator, &registrationProperties);
    }
    void TearDown() override {
        EXPECT_EQ(AsUnknown(effect->InnerUnknown())->Release(), 0u);
        EXPECT_EQ(objectCount.load(), countBefore);
    }

    TestAggregator aggregator;
    KovraAPO* effect = nullptr;
    LONG countBefore = 0;
};

TEST_F(AggregatedEffect, FaceQueriesAreAnsweredByTheAggregator) {
    auto* rt = static_cast<IUnknown*>(static_cast<IAudioProcessingObjectRT*>(effect));
    void* out = nullptr;
    EXPECT_EQ(rt->QueryInterface(IID_IAudioProcessingObject, &out), E_NOINTERFACE);
    EXPECT_EQ(aggregator.queries, 1);
    EXPECT_TRUE(IsEqualIID(aggregator.lastQuery, IID_IAudioProcessingObject));
}

TEST_F(AggregatedEffect, FaceReferencesMoveTheAggregatorsCountOnly) {
    auto* rt = static_cast<IUnknown*>(static_cast<IAudioProcessingObjectRT*>(effect));
    EXPECT_EQ(rt->AddRef(), 2u);
    EXPECT_EQ(OwnCount(effect), 1u);
    EXPECT_EQ(rt->Release(), 1u);
}

TEST_F(AggregatedEffect, InnerQueryRaisesTheAggregatorsCountForComFaces) {
    void* out = nullptr;
    ASSERT_EQ(effect->InnerQueryInterface(IID_IAudioSystemEffects, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IAudioSystemEffects*>(effect)));
    EXPECT_EQ(aggregator.references.load(), 2u);
    EXPECT_EQ(OwnCount(effect), 1u);
    static_cast<IUnknown*>(out)->Release();
    EXPECT_EQ(aggregator.references.load(), 1u);
}

TEST_F(AggregatedEffect, InnerQueryForIUnknownRaisesTheObjectsOwnCount) {
    void* out = nullptr;
    ASSERT_EQ(effect->InnerQueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(effect->InnerUnknown()));
    EXPECT_EQ(OwnCount(effect), 2u);
    EXPECT_EQ(aggregator.references.load(), 1u);
    EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u);
}

TEST_F(AggregatedEffect, RefusedInnerQueryLeavesBothCounts) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(effect->InnerQueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(aggregator.references.load(), 1u);
    EXPECT_EQ(aggregator.queries, 0);
    EXPECT_EQ(OwnCount(effect), 1u);
}

} // namespace
