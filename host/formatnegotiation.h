// Offers the file's stream to the effect as the audio engine would, and puts the effect's answer
// into words: which field it refused or changed, and what it accepts instead.
#pragma once

#include "apocontract.h"

#include <string>
#include <vector>

struct NegotiationOutcome {
    HRESULT outputResult = E_FAIL;
    HRESULT inputResult = E_FAIL;
    UNCOMPRESSEDAUDIOFORMAT supportedOutput{}; // valid when outputResult is S_OK
    UNCOMPRESSEDAUDIOFORMAT supportedInput{};  // valid when inputResult is S_OK or S_FALSE
    std::vector<std::string> messages;         // one line per refusal or change

    bool Accepted() const { return outputResult == S_OK && inputResult == S_OK; }
};

// Asks IsOutputFormatSupported, then IsInputFormatSupported, with the host's media types.
NegotiationOutcome NegotiateFormats(IAudioProcessingObject* effect,
                                    const UNCOMPRESSEDAUDIOFORMAT& input,
                                    const UNCOMPRESSEDAUDIOFORMAT& output);

// "2 ch float 32-bit (32 valid) 48000 Hz, mask 0x3"
std::string DescribeStreamFormat(const UNCOMPRESSEDAUDIOFORMAT& format);

// The fields in which a proposal differs from the request, e.g. "channels 4 -> 2".
std::vector<std::string> DescribeProposal(const UNCOMPRESSEDAUDIOFORMAT& requested,
                                          const UNCOMPRESSEDAUDIOFORMAT& proposed);

// Why the effect refuses a requested format, by the rules it publishes: which field, and what
// it accepts. `isInput` picks the input side's rules; `opposite` is the other side's format.
std::vector<std::string> ExplainRefusal(bool isInput, const UNCOMPRESSEDAUDIOFORMAT& requested,
                                        const UNCOMPRESSEDAUDIOFORMAT& opposite);
