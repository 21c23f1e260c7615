// The host's own COM objects: the media type it offers formats with and the endpoint store.
#include "comptr.h"
#include "hostmediatype.h"
#include "memorypropertystore.h"

#include <gtest/gtest.h>

namespace {

ComPtr<IAudioMediaType> MakeType(const UNCOMPRESSEDAUDIOFORMAT& format) {
    ComPtr<IAudioMediaType> type;
    EXPECT_EQ(HostMediaType::Create(format, type.Receive()), S_OK);
    return type;
}

TEST(HostMediaType, DescribesItselfAsItWasMade) {
    const UNCOMPRESSEDAUDIOFORMAT format = FloatStreamFormat(6, 0x3F, 96000.0f);
    ComPtr<IAudioMediaType> type = MakeType(format);
    UNCOMPRESSEDAUDIOFORMAT back{};
    ASSERT_EQ(type->GetUncompressedAudioFormat(&back), S_OK);
    EXPECT_EQ(memcmp(&back, &format, sizeof format), 0);
    const auto* wave = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(type->GetAudioFormat());
    EXPECT_EQ(wave->Format.wFormatTag, WAVE_FORMAT_EXTENSIBLE);
    EXPECT_EQ(wave->Format.nChannels, 6);
    EXPECT_EQ(wave->Format.nSamplesPerSec, 96000u);
    EXPECT_EQ(wave->Format.nBlockAlign, 24);
    EXPECT_EQ(wave->Format.nAvgBytesPerSec, 96000u * 24);
    EXPECT_EQ(wave->Format.cbSize, 22);
    EXPECT_EQ(wave->Samples.wValidBitsPerSample, 32);
    EXPECT_EQ(wave->dwChannelMask, 0x3Fu);
    EXPECT_TRUE(IsFloatSubFormat(wave->SubFormat));
    BOOL compressed = TRUE;
    EXPECT_EQ(type->IsCompressedFormat(&compressed), S_OK);
    EXPECT_FALSE(compressed);
}

TEST(HostMediaType, ComparesFormatsWithThePlatformFlags) {
    ComPtr<IAudioMediaType> stereo = MakeType(FloatStreamFormat(2, 0x3, 48000.0f));
    ComPtr<IAudioMediaType> same = MakeType(FloatStreamFormat(2, 0x3, 48000.0f));
    ComPtr<IAudioMediaType> otherMask = MakeType(FloatStreamFormat(2, 0x0, 48000.0f));
    ComPtr<IAudioMediaType> otherRate = MakeType(FloatStreamFormat(2, 0x3, 96000.0f));
    DWORD flags = 0;
    EXPECT_EQ(stereo->IsEqual(same.Get(), &flags), S_OK);
    EXPECT_EQ(flags, 0xEu);
    EXPECT_EQ(stereo->IsEqual(otherMask.Get(), &flags), S_FALSE);
    EXPECT_EQ(flags, 0x6u);
    EXPECT_EQ(stereo->IsEqual(otherRate.Get(), &flags), S_FALSE);
    EXPECT_EQ(flags, 0x2u);
    EXPECT_EQ(stereo->IsEqual(nullptr, &flags), E_POINTER);
}

TEST(HostMediaType, AnswersOnlyItsInterfaces) {
    ComPtr<IAudioMediaType> type = MakeType(FloatStreamFormat(2, 0x3, 48000.0f));
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(type.QueryInto(unknown), S_OK);
    ComPtr<IPropertyStore> store;
    EXPECT_EQ(type.QueryInto(store), E_NOINTERFACE);
    EXPECT_FALSE(store);
    EXPECT_EQ(HostMediaType::Create(FloatStreamFormat(2, 3, 48000.0f), nullptr), E_POINTER);
}

const PROPERTYKEY kKey = {{0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}}, 0};
const PROPERTYKEY kSameGuidOtherPid = {{0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}}, 1};

TEST(MemoryPropertyStore, AnAbsentKeyReadsAsEmpty) {
    ComPtr<MemoryPropertyStore> store =
        ComPtr<MemoryPropertyStore>::Attach(MemoryPropertyStore::Create());
    PROPVARIANT value;
    value.vt = VT_I4;
    EXPECT_EQ(store->GetValue(kKey, &value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);
    DWORD count = 9;
    EXPECT_EQ(store->GetCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST(MemoryPropertyStore, KeepsOneValuePerKeyAndHandsOutCopies) {
    ComPtr<MemoryPropertyStore> store =
        ComPtr<MemoryPropertyStore>::Attach(MemoryPropertyStore::Create());
    EXPECT_EQ(store->SetUInt32(kKey, 1), S_OK);
    EXPECT_EQ(store->SetUInt32(kKey, 5), S_OK);
    PROPVARIANT text;
    PropVariantInit(&text);
    text.vt = VT_LPWSTR;
    wchar_t words[] = L"not a number";
    text.pwszVal = words;
    EXPECT_EQ(store->SetValue(kSameGuidOtherPid, text), S_OK);

    DWORD count = 0;
    EXPECT_EQ(store->GetCount(&count), S_OK);
    EXPECT_EQ(count, 2u);
    PROPVARIANT value;
    EXPECT_EQ(store->GetValue(kKey, &value), S_OK);
    EXPECT_EQ(value.vt, VT_UI4);
    EXPECT_EQ(value.ulVal, 5u);
    EXPECT_EQ(store->GetValue(kSameGuidOtherPid, &value), S_OK);
    ASSERT_EQ(value.vt, VT_LPWSTR);
    EXPECT_NE(value.pwszVal, words);
    EXPECT_STREQ(value.pwszVal, words);
    PropVariantClear(&value);
    PROPERTYKEY key{};
    EXPECT_EQ(store->GetAt(1, &key), S_OK);
    EXPECT_EQ(key.pid, 1u);
    EXPECT_EQ(store->GetAt(2, &key), E_INVALIDARG);
    EXPECT_EQ(store->GetValue(kKey, nullptr), E_POINTER);
}

TEST(MemoryPropertyStore, CountsTheReferencesOthersHold) {
    ComPtr<MemoryPropertyStore> store =
        ComPtr<MemoryPropertyStore>::Attach(MemoryPropertyStore::Create());
    EXPECT_EQ(store->ReferencesBeyondCreator(), 0);
    ComPtr<IPropertyStore> borrowed;
    EXPECT_EQ(store.QueryInto(borrowed), S_OK);
    EXPECT_EQ(store->ReferencesBeyondCreator(), 1);
    borrowed.Reset();
    EXPECT_EQ(store->ReferencesBeyondCreator(), 0);
}

} // namespace
