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

bool IsAcceptedRate(float rate) {
    return rate == 48000.0f || rate == 96000.0f;
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
            const UNCOMPRESSEDAUDIOFORMAT& requested, const UNCOMPRESSEDAUDIOFORMAT& opposite,
            const UNCOMPRESSEDAUDIOFORMAT& supported) {
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
    for (const std::string& reason : ExplainRefusal(isInput, requested, opposite)) {
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

std::vector<std::string> ExplainRefusal(bool isInput, const UNCOMPRESSEDAUDIOFORMAT& requested,
                                        const UNCOMPRESSEDAUDIOFORMAT& opposite) {
    std::vector<std::string> reasons;
    const unsigned long validBits = requested.dwValidBitsPerSample;
    if (!isInput && requested.dwSamplesPerFrame != 2) {
        reasons.push_back(
            Hex("channels %lu: the effect's output is 2 channels", requested.dwSamplesPerFrame));
    }
    if (!IsAcceptedRate(requested.fFramesPerSecond)) {
        reasons.push_back(Format("sample rate %g Hz: the effect accepts 48000 or 96000 Hz",
                                 requested.fFramesPerSecond));
    }
    if (isInput && validBits != 16 && validBits != 24 && validBits != 32) {
        reasons.push_back(Hex("valid bits %lu: the effect accepts 16, 24 or 32", validBits));
    }
    if (!isInput && validBits != opposite.dwValidBitsPerSample) {
        reasons.push_back(Hex("valid bits %lu: the effect wants the input's %lu", validBits,
                              opposite.dwValidBitsPerSample));
    }
    return reasons;
}

NegotiationOutcome NegotiateFormats(IAudioProcessingObject* effect,
                                    const UNCOMPRESSEDAUDIOFORMAT& input,
                                    const UNCOMPRESSEDAUDIOFORMAT& output) {
    NegotiationOutcome outcome;
    outcome.outputResult = Ask(effect, false, input, output, outcome.supportedOutput);
    Report(outcome, false, outcome.outputResult, output, input, outcome.supportedOutput);
    outcome.inputResult = Ask(effect, true, output, input, outcome.supportedInput);
    Report(outcome, true, outcome.inputResult, input, output, outcome.supportedInput);
    return outcome;
}
