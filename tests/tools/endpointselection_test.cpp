// The ENDPOINT argument: an id, a piece of one endpoint's name, or "default"; and the GUID that
// names the endpoint's registry key.
#include "endpointselection.h"

#include <gtest/gtest.h>

namespace {

const std::vector<EndpointInfo> kEndpoints = {
    {L"{0.0.0.00000000}.{aaaaaaaa-0000-4000-8000-000000000001}", L"Speakers (Kovra Audio)", 1},
    {L"{0.0.0.00000000}.{aaaaaaaa-0000-4000-8000-000000000002}", L"Kopfhörer (Kovra Audio)", 1},
    {L"{0.0.0.00000000}.{aaaaaaaa-0000-4000-8000-000000000003}", L"", 4},
};

TEST(EndpointSelection, AnIdANameOrTheDefaultChoosesOneEndpoint) {
    const struct {
        std::wstring selector;
        std::wstring defaultId;
        size_t chosen;
    } cases[] = {
        {kEndpoints[2].id, L"", 2},
        {L"{0.0.0.00000000}.{AAAAAAAA-0000-4000-8000-000000000002}", L"", 1},
        {L"speakers", L"", 0},
        {L"KOPFHÖRER", L"", 1},
        {L"default", kEndpoints[1].id, 1},
        {L"Default", kEndpoints[0].id, 0},
    };
    for (const auto& entry : cases) {
        const EndpointChoice choice = ChooseEndpoint(entry.selector, kEndpoints, entry.defaultId);
        ASSERT_NE(choice.endpoint, nullptr) << testing::PrintToString(choice.error);
        EXPECT_EQ(choice.endpoint, &kEndpoints[entry.chosen]);
    }
}

TEST(EndpointSelection, NoneOrSeveralMatchesAreRefusedWithTheReason) {
    const struct {
        std::wstring selector;
        std::wstring defaultId;
        std::wstring message;
    } cases[] = {
        {L"Headphones", kEndpoints[0].id, L"no render endpoint has the id \"Headphones\""},
        {L"Kovra Audio", L"", L"\"Kovra Audio\" matches 2 endpoints"},
        {L"default", L"", L"there is no default render endpoint"},
        {L"default", L"{0.0.0.00000000}.{gone}", L"is not in the list"},
    };
    for (const auto& entry : cases) {
        const EndpointChoice choice = ChooseEndpoint(entry.selector, kEndpoints, entry.defaultId);
        EXPECT_EQ(choice.endpoint, nullptr);
        EXPECT_NE(choice.error.find(entry.message), std::wstring::npos)
            << testing::PrintToString(choice.error);
    }
    // The ambiguity names every candidate, so the user can pick one by its id.
    const std::wstring ambiguity = ChooseEndpoint(L"Kovra", kEndpoints, L"").error;
    EXPECT_NE(ambiguity.find(kEndpoints[0].id), std::wstring::npos);
    EXPECT_NE(ambiguity.find(kEndpoints[1].id), std::wstring::npos);
}

TEST(EndpointSelection, TheRegistryGuidIsTheIdsLastPart) {
    const struct {
        std::wstring id;
        std::wstring guid; // empty: no GUID
    } cases[] = {
        {L"{0.0.0.00000000}.{aaaaaaaa-0000-4000-8000-000000000001}",
         L"{aaaaaaaa-0000-4000-8000-000000000001}"},
        {L"{0.0.0.00000000}.{aaaaaaaa-0000-4000-8000-00000000000}", L""},
        {L"{0.0.0.00000000}.aaaaaaaa-0000-4000-8000-000000000001xx", L""},
        {L"{0.0.0.00000000}.{zzzzzzzz-0000-4000-8000-000000000001}", L""},
        {L"{0.0.0.00000000}.", L""},
    };
    for (const auto& entry : cases) {
        std::wstring guid;
        EXPECT_EQ(EndpointGuidOf(entry.id, guid), !entry.guid.empty())
            << testing::PrintToString(entry.id);
        EXPECT_EQ(guid, entry.guid);
    }
}

} // namespace
