// Offers the file's stream to the effect as the audio engine would, and puts the effect's answer
// into words: which field it refused or changed, and what it accepts instead.
#pragma once

#include "apocontract.h"
#include "conversionplan.h"

#include <string>
#include <vector>

struct NegotiationOutcome {
    HRESULT outputResult = E_FAIL;
    HRESULT inputResult = E_FAIL;
    UNCOMPRESSEDAUDIOFORMAT supportedOutput{}; // valid when outputResult is S_OK
    UNCOMPRESSEDAUDIOFORMAT supportedInput{};  // valid when inputResult is S_OK or S_FALSE
    std::vector<std::string> messages;         // one line per refusal or change
    std::vector<StreamLayout> acceptedInputs;  // asked for only when the offer was not accepted

    bool Accepted() const { return outputResult == S_OK && inputResult == S_OK; }
};

// Asks IsOutputFormatSupported, then IsInputFormatSupported, with the host's media types. When
// the effect does not take the offer as it is, it is also asked which usual shapes it takes, and
// the messages say why by those answers: the host keeps no copy of the effect's rules.
NegotiationOutcome NegotiateFormats(IAudioProcessingObject* effect,
                                    const UNCOMPRESSEDAUDIOFORMAT& input,
                                    const UNCOMPRESSEDAUDIOFORMAT& output);

// "2 ch float 32-bit (32 valid) 48000 Hz, mask 0x3"
std::string DescribeStreamFormat(const UNCOMPRESSEDAUDIOFORMAT& format);

// The fields in which a proposal differs from the request, e.g. "channels 4 -> 2".
std::vector<std::string> DescribeProposal(const UNCOMPRESSEDAUDIOFORMAT& requested,
                                          const UNCOMPRESSEDAUDIOFORMAT& proposed);

// The usual rates and speaker layouts that the effect takes as input, each with a stereo output
// at the same rate, by asking it (IsInputFormatSupported answering S_OK) for every pair.
std::vector<StreamLayout> AcceptedInputLayouts(IAudioProcessingObject* effect);

// Why the effect refuses `requested`, by what it takes: the rate it takes for no layout, and
// (with `checkLayout`) a channel layout it takes at no rate.
std::vector<std::string> ExplainRefusal(const UNCOMPRESSEDAUDIOFORMAT& requested,
                                        const std::vector<StreamLayout>& accepted,
                                        bool checkLayout);
