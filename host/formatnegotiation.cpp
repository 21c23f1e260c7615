#include "formatnegotiation.h"

#include "comptr.h"
#include "hostmediatype.h"
#include "hresultnames.h"

#include <cstdio>

namespace {

std::string Format(const char* format, double a, double b = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string Hex(const char* format, unsigned long a, unsigned long b = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// The rates and speaker layouts the platform's devices use.
const uint32_t kUsualRates[] = {8000,  11025, 16000, 22050,  24000,  32000,  44100, 48000,
                                64000, 88200, 96000, 176400, 192000, 352800, 384000};
const StreamLayout kUsualLayouts[] = {{0, 1, 0x4},  {0, 2, 0x3},   {0, 3, 0x7},   {0, 3, 0xB},
                                      {0, 4, 0x33}, {0, 4, 0x107}, {0, 5, 0x37},  {0, 5, 0x607},
                                      {0, 6, 0x3F}, {0, 6, 0x60F}, {0, 7, 0x13F}, {0, 7, 0x70F},
                                      {0, 8, 0xFF}, {0, 8, 0x63F}};

std::string RateList(std::vector<uint32_t> rates) {
    std::string text;
    for (size_t index = 0; index < rates.size(); ++index) {
        text += (index == 0                  ? ""
                 : index + 1 == rates.size() ? " or "
                                             : ", ") +
                std::to_string(rates[index]);
    }
    return text;
}

HRESULT Ask(IAudioProcessingObject* effect, bool isInput, const UNCOMPRESSEDAUDIOFORMAT& opposite,
            const UNCOMPRESSEDAUDIOFORMAT& requested, UNCOMPRESSEDAUDIOFORMAT& supported) {
    ComPtr<IAudioMediaType> oppositeType;
    ComPtr<IAudioMediaType> requestedType;
    HRESULT result = HostMediaType::Create(opposite, oppositeType.Receive());
    if (SUCCEEDED(result)) {
        result = HostMediaType::Create(requested, requestedType.Receive());
    }
    if (FAILED(result)) {
        return result;
    }
    IAudioMediaType* answer = nullptr;
    result =
        isInput ? effect->IsInputFormatSupported(oppositeType.Get(), requestedType.Get(), &answer)
                : effect->IsOutputFormatSupported(oppositeType.Get(), requestedType.Get(), &answer);
    ComPtr<IAudioMediaType> supportedType = ComPtr<IAudioMediaType>::Attach(answer);
    if ((result == S_OK || result == S_FALSE) && supportedType) {
        const HRESULT described = supportedType->GetUncompressedAudioFormat(&supported);
        if (FAILED(described)) {
            return described;
        }
    }
    return result;
}

void Report(NegotiationOutcome& outcome, bool isInput, HRESULT result,
            const UNCOMPRESSEDAUDIOFORMAT& requested, const UNCOMPRESSEDAUDIOFORMAT& supported) {
    const std::string side = isInput ? "input" : "output";
    if (result == S_OK) {
        return;
    }
    if (result == S_FALSE) {
        outcome.messages.push_back("the effect does not take the " + side +
                                   " format as offered and proposes " +
                                   DescribeStreamFormat(supported) + " (S_FALSE):");
        for (const std::string& change : DescribeProposal(requested, supported)) {
            outcome.messages.push_back("  " + change);
        }
        return;
    }
    outcome.messages.push_back("the effect refuses the " + side + " format " +
                               DescribeStreamFormat(requested) + ": " + DescribeHResult(result));
    for (const std::string& reason : ExplainRefusal(requested, outcome.acceptedInputs, isInput)) {
        outcome.messages.push_back("  " + reason);
    }
}

} // namespace

std::string DescribeStreamFormat(const UNCOMPRESSEDAUDIOFORMAT& format) {
    char text[200];
    std::snprintf(text, sizeof text, "%lu ch %s %lu-bit (%lu valid) %g Hz, mask 0x%lX",
                  static_cast<unsigned long>(format.dwSamplesPerFrame),
                  IsFloatSubFormat(format.guidFormatType) ? "float" : "PCM",
                  static_cast<unsigned long>(format.dwBytesPerSampleContainer * 8),
                  static_cast<unsigned long>(format.dwValidBitsPerSample),
                  static_cast<double>(format.fFramesPerSecond),
                  static_cast<unsigned long>(format.dwChannelMask));
    return text;
}

std::vector<std::string> DescribeProposal(const UNCOMPRESSEDAUDIOFORMAT& requested,
                                          const UNCOMPRESSEDAUDIOFORMAT& proposed) {
    std::vector<std::string> changes;
    if (requested.dwSamplesPerFrame != proposed.dwSamplesPerFrame) {
        changes.push_back(
            Hex("channels %lu -> %lu", requested.dwSamplesPerFrame, proposed.dwSamplesPerFrame));
    }
    if (requested.dwChannelMask != proposed.dwChannelMask) {
        changes.push_back(
            Hex("channel mask 0x%lX -> 0x%lX", requested.dwChannelMask, proposed.dwChannelMask));
    }
    if (requested.fFramesPerSecond != proposed.fFramesPerSecond) {
        changes.push_back(Format("sample rate %g Hz -> %g Hz", requested.fFramesPerSecond,
                                 proposed.fFramesPerSecond));
    }
    if (requested.dwValidBitsPerSample != proposed.dwValidBitsPerSample) {
        changes.push_back(Hex("valid bits %lu -> %lu", requested.dwValidBitsPerSample,
                              proposed.dwValidBitsPerSample));
    }
    if (requested.dwBytesPerSampleContainer != proposed.dwBytesPerSampleContainer) {
        changes.push_back(Hex("container bytes %lu -> %lu", requested.dwBytesPerSampleContainer,
                              proposed.dwBytesPerSampleContainer));
    }
    if (!IsEqualGUID(requested.guidFormatType, proposed.guidFormatType)) {
        changes.push_back("sample type changed");
    }
    return changes;
}

std::vector<StreamLayout> AcceptedInputLayouts(IAudioProcessingObject* effect) {
    std::vector<StreamLayout> accepted;
    for (const uint32_t rate : kUsualRates) {
        const UNCOMPRESSEDAUDIOFORMAT output = FloatStreamFormat(2, 0x3, static_cast<float>(rate));
        for (const StreamLayout& layout : kUsualLayouts) {
            const UNCOMPRESSEDAUDIOFORMAT input =
                FloatStreamFormat(layout.channels, layout.channelMask, static_cast<float>(rate));
            UNCOMPRESSEDAUDIOFORMAT supported{};
            if (Ask(effect, true, output, input, supported) == S_OK) {
                accepted.push_back({rate, layout.channels, layout.channelMask});
            }
        }
    }
    return accepted;
}

std::vector<std::string> ExplainRefusal(const UNCOMPRESSEDAUDIOFORMAT& requested,
                                        const std::vector<StreamLayout>& accepted,
                                        bool checkLayout) {
    std::vector<std::string> reasons;
    std::vector<uint32_t> rates;
    std::string layouts;
    bool rateTaken = false;
    bool layoutTaken = false;
    for (const StreamLayout& layout : accepted) {
        rateTaken = rateTaken || layout.sampleRate == requested.fFramesPerSecond;
        layoutTaken = layoutTaken || (layout.channels == requested.dwSamplesPerFrame &&
                                      layout.channelMask == requested.dwChannelMask);
        if (rates.empty() || rates.back() < layout.sampleRate) {
            rates.push_back(layout.sampleRate);
        }
        if (layout.sampleRate == accepted.front().sampleRate) {
            layouts += Hex(layouts.empty() ? "%lu (mask 0x%lX)" : ", %lu (mask 0x%lX)",
                           layout.channels, layout.channelMask);
        }
    }
    if (!rateTaken) {
        reasons.push_back(
            Format("sample rate %g Hz: the effect accepts ", requested.fFramesPerSecond) +
            RateList(rates) + " Hz");
    }
    if (checkLayout && !layoutTaken) {
        reasons.push_back(Hex("channels %lu (mask 0x%lX): the effect accepts ",
                              requested.dwSamplesPerFrame, requested.dwChannelMask) +
                          layouts);
    }
    return reasons;
}

NegotiationOutcome NegotiateFormats(IAudioProcessingObject* effect,
                                    const UNCOMPRESSEDAUDIOFORMAT& input,
                                    const UNCOMPRESSEDAUDIOFORMAT& output) {
    NegotiationOutcome outcome;
    outcome.outputResult = Ask(effect, false, input, output, outcome.supportedOutput);
    outcome.inputResult = Ask(effect, true, output, input, outcome.supportedInput);
    if (!outcome.Accepted()) {
        outcome.acceptedInputs = AcceptedInputLayouts(effect);
    }
    Report(outcome, false, outcome.outputResult, output, outcome.supportedOutput);
    Report(outcome, true, outcome.inputResult, input, outcome.supportedInput);
    return outcome;
}
