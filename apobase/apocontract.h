// The audio engine's processing-object contract: the interfaces, records and codes that an
// audio processing object and the engine that drives it share. mingw-w64 ships none of these,
// so they are declared here with the platform's names and its exact x64 layout; the
// static_asserts at the end pin every size and offset that crosses the COM boundary.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <mmreg.h>
#include <audioapotypes.h>
#include <mmdeviceapi.h>
#include <propsys.h>

#include <cstddef>

// ---------------------------------------------------------------------------------------------
// Records

typedef struct UNCOMPRESSEDAUDIOFORMAT {
    GUID guidFormatType;
    DWORD dwSamplesPerFrame;
    DWORD dwBytesPerSampleContainer;
    DWORD dwValidBitsPerSample;
    FLOAT fFramesPerSecond;
    DWORD dwChannelMask;
} UNCOMPRESSEDAUDIOFORMAT;

struct IAudioMediaType;

typedef enum APO_CONNECTION_BUFFER_TYPE {
    APO_CONNECTION_BUFFER_TYPE_ALLOCATED = 0,
    APO_CONNECTION_BUFFER_TYPE_EXTERNAL = 1,
    APO_CONNECTION_BUFFER_TYPE_DEPENDANT = 2,
} APO_CONNECTION_BUFFER_TYPE;

typedef struct APO_CONNECTION_DESCRIPTOR {
    APO_CONNECTION_BUFFER_TYPE Type;
    UINT_PTR pBuffer;
    UINT32 u32MaxFrameCount;
    IAudioMediaType* pFormat;
    UINT32 u32Signature;
} APO_CONNECTION_DESCRIPTOR;

typedef enum APO_FLAG {
    APO_FLAG_NONE = 0x0,
    APO_FLAG_INPLACE = 0x1,
    APO_FLAG_SAMPLESPERFRAME_MUST_MATCH = 0x2,
    APO_FLAG_FRAMESPERSECOND_MUST_MATCH = 0x4,
    APO_FLAG_BITSPERSAMPLE_MUST_MATCH = 0x8,
    APO_FLAG_MIXER = 0x10,
    APO_FLAG_DEFAULT = 0xE,
} APO_FLAG;

typedef struct APO_REG_PROPERTIES {
    CLSID clsid;
    APO_FLAG Flags;
    WCHAR szFriendlyName[256];
    WCHAR szCopyrightInfo[256];
    UINT32 u32MajorVersion;
    UINT32 u32MinorVersion;
    UINT32 u32MinInputConnections;
    UINT32 u32MaxInputConnections;
    UINT32 u32MinOutputConnections;
    UINT32 u32MaxOutputConnections;
    UINT32 u32MaxInstances;
    UINT32 u32NumAPOInterfaces;
    IID iidAPOInterfaceList[1];
} APO_REG_PROPERTIES;

typedef struct APOInitBaseStruct {
    UINT32 cbSize;
    CLSID clsid;
} APOInitBaseStruct;

typedef struct APOInitSystemEffects {
    APOInitBaseStruct APOInit;
    IPropertyStore* pAPOEndpointProperties;
    IPropertyStore* pAPOSystemEffectsProperties;
    void* pReserved;
    IMMDeviceCollection* pDeviceCollection;
} APOInitSystemEffects;

// ---------------------------------------------------------------------------------------------
// Constants

#define APO_CONNECTION_DESCRIPTOR_SIGNATURE 0x41434453u // 'ACDS'
#define APO_CONNECTION_PROPERTY_SIGNATURE 0x41435053u   // 'ACPS'

#define APOERR_ALREADY_INITIALIZED ((HRESULT)0x887D0001L)
#define APOERR_NOT_INITIALIZED ((HRESULT)0x887D0002L)
#define APOERR_FORMAT_NOT_SUPPORTED ((HRESULT)0x887D0003L)
#define APOERR_INVALID_APO_CLSID ((HRESULT)0x887D0004L)
#define APOERR_BUFFERS_OVERLAP ((HRESULT)0x887D0005L)
#define APOERR_ALREADY_UNLOCKED ((HRESULT)0x887D0006L)
#define APOERR_NUM_CONNECTIONS_INVALID ((HRESULT)0x887D0007L)
#define APOERR_INVALID_OUTPUT_MAXFRAMECOUNT ((HRESULT)0x887D0008L)
#define APOERR_INVALID_CONNECTION_FORMAT ((HRESULT)0x887D0009L)
#define APOERR_APO_LOCKED ((HRESULT)0x887D000AL)

#define AUDIOMEDIATYPE_EQUAL_FORMAT_TYPES 0x00000002
#define AUDIOMEDIATYPE_EQUAL_FORMAT_DATA 0x00000004
#define AUDIOMEDIATYPE_EQUAL_FORMAT_USER_DATA 0x00000008

#define AUDIO_MIN_FRAMERATE 10.0
#define AUDIO_MAX_FRAMERATE 384000.0
#define AUDIO_MIN_CHANNELS 1
#define AUDIO_MAX_CHANNELS 4096

// ---------------------------------------------------------------------------------------------
// Interfaces (vtable order as the platform defines it)

struct IAudioMediaType : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL* pfCompressed) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsEqual(IAudioMediaType* pIAudioType, DWORD* pdwFlags) = 0;
    virtual const WAVEFORMATEX* STDMETHODCALLTYPE GetAudioFormat() = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetUncompressedAudioFormat(UNCOMPRESSEDAUDIOFORMAT* pUncompressedAudioFormat) = 0;
};

struct IAudioProcessingObject : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLatency(HNSTIME* pTime) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetRegistrationProperties(APO_REG_PROPERTIES** ppRegProps) = 0;
    virtual HRESULT STDMETHODCALLTYPE Initialize(UINT32 cbDataSize, BYTE* pbyData) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    IsInputFormatSupported(IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedInputFormat,
                           IAudioMediaType** ppSupportedInputFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsOutputFormatSupported(
        IAudioMediaType* pOppositeFormat, IAudioMediaType* pRequestedOutputFormat,
        IAudioMediaType** ppSupportedOutputFormat) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInputChannelCount(UINT32* pu32ChannelCount) = 0;
};

struct IAudioProcessingObjectRT : public IUnknown {
    virtual void STDMETHODCALLTYPE APOProcess(UINT32 u32NumInputConnections,
                                              APO_CONNECTION_PROPERTY** ppInputConnections,
                                              UINT32 u32NumOutputConnections,
                                              APO_CONNECTION_PROPERTY** ppOutputConnections) = 0;
    virtual UINT32 STDMETHODCALLTYPE CalcInputFrames(UINT32 u32OutputFrameCount) = 0;
    virtual UINT32 STDMETHODCALLTYPE CalcOutputFrames(UINT32 u32InputFrameCount) = 0;
};

struct IAudioProcessingObjectConfiguration : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE LockForProcess(
        UINT32 u32NumInputConnections, APO_CONNECTION_DESCRIPTOR** ppInputConnections,
        UINT32 u32NumOutputConnections, APO_CONNECTION_DESCRIPTOR** ppOutputConnections) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnlockForProcess() = 0;
};

// A marker: the object is a system effect. No methods of its own.
struct IAudioSystemEffects : public IUnknown {};

// Interface ids. Declared inline so that every module shares one definition without an
// import library.
inline constexpr IID IID_IAudioProcessingObject = {
    0xFD7F2B29, 0x24D0, 0x4B5C, {0xB1, 0x77, 0x59, 0x2C, 0x39, 0xF9, 0xCA, 0x10}};
inline constexpr IID IID_IAudioProcessingObjectRT = {
    0x9E1D6A6D, 0xDDBC, 0x4E95, {0xA4, 0xC7, 0xAD, 0x64, 0xBA, 0x37, 0x84, 0x6C}};
inline constexpr IID IID_IAudioProcessingObjectConfiguration = {
    0x0E5ED805, 0xABA6, 0x49C3, {0x8F, 0x9A, 0x2B, 0x8C, 0x88, 0x9C, 0x4F, 0xA8}};
inline constexpr IID IID_IAudioSystemEffects = {
    0x5FA00F27, 0xADD6, 0x499A, {0x8A, 0x9D, 0x6B, 0x98, 0x52, 0x1F, 0xA7, 0x5B}};
inline constexpr IID IID_IAudioMediaType = {
    0x4E997F73, 0xB71F, 0x4798, {0x87, 0x3B, 0xED, 0x7D, 0xFC, 0xF1, 0x5B, 0x4D}};

__CRT_UUID_DECL(IAudioProcessingObject, 0xFD7F2B29, 0x24D0, 0x4B5C, 0xB1, 0x77, 0x59, 0x2C, 0x39,
                0xF9, 0xCA, 0x10)
__CRT_UUID_DECL(IAudioProcessingObjectRT, 0x9E1D6A6D, 0xDDBC, 0x4E95, 0xA4, 0xC7, 0xAD, 0x64, 0xBA,
                0x37, 0x84, 0x6C)
__CRT_UUID_DECL(IAudioProcessingObjectConfiguration, 0x0E5ED805, 0xABA6, 0x49C3, 0x8F, 0x9A, 0x2B,
                0x8C, 0x88, 0x9C, 0x4F, 0xA8)
__CRT_UUID_DECL(IAudioSystemEffects, 0x5FA00F27, 0xADD6, 0x499A, 0x8A, 0x9D, 0x6B, 0x98, 0x52, 0x1F,
                0xA7, 0x5B)
__CRT_UUID_DECL(IAudioMediaType, 0x4E997F73, 0xB71F, 0x4798, 0x87, 0x3B, 0xED, 0x7D, 0xFC, 0xF1,
                0x5B, 0x4D)

// ---------------------------------------------------------------------------------------------
// Layout checks (x64)

static_assert(sizeof(void*) == 8, "the processing-object contract is declared for x64");

static_assert(sizeof(UNCOMPRESSEDAUDIOFORMAT) == 36);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, guidFormatType) == 0);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, dwSamplesPerFrame) == 16);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, dwBytesPerSampleContainer) == 20);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, dwValidBitsPerSample) == 24);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, fFramesPerSecond) == 28);
static_assert(offsetof(UNCOMPRESSEDAUDIOFORMAT, dwChannelMask) == 32);

static_assert(sizeof(APO_CONNECTION_DESCRIPTOR) == 40);
static_assert(offsetof(APO_CONNECTION_DESCRIPTOR, Type) == 0);
static_assert(offsetof(APO_CONNECTION_DESCRIPTOR, pBuffer) == 8);
static_assert(offsetof(APO_CONNECTION_DESCRIPTOR, u32MaxFrameCount) == 16);
static_assert(offsetof(APO_CONNECTION_DESCRIPTOR, pFormat) == 24);
static_assert(offsetof(APO_CONNECTION_DESCRIPTOR, u32Signature) == 32);

static_assert(sizeof(APO_CONNECTION_PROPERTY) == 24);
static_assert(offsetof(APO_CONNECTION_PROPERTY, pBuffer) == 0);
static_assert(offsetof(APO_CONNECTION_PROPERTY, u32ValidFrameCount) == 8);
static_assert(offsetof(APO_CONNECTION_PROPERTY, u32BufferFlags) == 12);
static_assert(offsetof(APO_CONNECTION_PROPERTY, u32Signature) == 16);

static_assert(sizeof(APO_REG_PROPERTIES) == 1092);
static_assert(offsetof(APO_REG_PROPERTIES, clsid) == 0);
static_assert(offsetof(APO_REG_PROPERTIES, Flags) == 16);
static_assert(offsetof(APO_REG_PROPERTIES, szFriendlyName) == 20);
static_assert(offsetof(APO_REG_PROPERTIES, szCopyrightInfo) == 532);
static_assert(offsetof(APO_REG_PROPERTIES, u32MajorVersion) == 1044);
static_assert(offsetof(APO_REG_PROPERTIES, u32MinorVersion) == 1048);
static_assert(offsetof(APO_REG_PROPERTIES, u32MinInputConnections) == 1052);
static_assert(offsetof(APO_REG_PROPERTIES, u32MaxInputConnections) == 1056);
static_assert(offsetof(APO_REG_PROPERTIES, u32MinOutputConnections) == 1060);
static_assert(offsetof(APO_REG_PROPERTIES, u32MaxOutputConnections) == 1064);
static_assert(offsetof(APO_REG_PROPERTIES, u32MaxInstances) == 1068);
static_assert(offsetof(APO_REG_PROPERTIES, u32NumAPOInterfaces) == 1072);
static_assert(offsetof(APO_REG_PROPERTIES, iidAPOInterfaceList) == 1076);

static_assert(sizeof(APOInitBaseStruct) == 20);
static_assert(offsetof(APOInitBaseStruct, clsid) == 4);

static_assert(sizeof(APOInitSystemEffects) == 56);
static_assert(offsetof(APOInitSystemEffects, pAPOEndpointProperties) == 24);
static_assert(offsetof(APOInitSystemEffects, pAPOSystemEffectsProperties) == 32);
static_assert(offsetof(APOInitSystemEffects, pReserved) == 40);
static_assert(offsetof(APOInitSystemEffects, pDeviceCollection) == 48);
