#include "endpointselection.h"

#include <objbase.h>

namespace {

constexpr size_t kGuidTextLength = 38; // {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}

// Names come in any language: the invariant case mapping lowers "Ö" as well as "O".
std::wstring Lowered(const std::wstring& text) {
    std::wstring lowered(text.size(), L'\0');
    if (!text.empty() &&
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, text.data(),
                      static_cast<int>(text.size()), lowered.data(),
                      static_cast<int>(lowered.size()), nullptr, nullptr, 0) == 0) {
        return text;
    }
    return lowered;
}

bool SameText(const std::wstring& first, const std::wstring& second) {
    return Lowered(first) == Lowered(second);
}

const EndpointInfo* FindById(const std::vector<EndpointInfo>& endpoints, const std::wstring& id) {
    for (const EndpointInfo& endpoint : endpoints) {
        if (SameText(endpoint.id, id)) {
            return &endpoint;
        }
    }
    return nullptr;
}

EndpointChoice ChooseDefault(const std::vector<EndpointInfo>& endpoints,
                             const std::wstring& defaultId) {
    if (defaultId.empty()) {
        return {nullptr, L"there is no default render endpoint; name one (kovractl list)"};
    }
    if (const EndpointInfo* endpoint = FindById(endpoints, defaultId)) {
        return {endpoint, L""};
    }
    return {nullptr, L"the default render endpoint " + defaultId + L" is not in the list"};
}

std::wstring AmbiguityMessage(const std::wstring& selector,
                              const std::vector<const EndpointInfo*>& matches) {
    std::wstring message = L"\"" + selector + L"\" matches " + std::to_wstring(matches.size()) +
                           L" endpoints; give more of the name, or the id:";
    for (const EndpointInfo* endpoint : matches) {
        message += L"\n  " + endpoint->id + L"  " + endpoint->friendlyName;
    }
    return message;
}

} // namespace

EndpointChoice ChooseEndpoint(const std::wstring& selector,
                              const std::vector<EndpointInfo>& endpoints,
                              const std::wstring& defaultId) {
    if (SameText(selector, L"default")) {
        return ChooseDefault(endpoints, defaultId);
    }
    if (const EndpointInfo* endpoint = FindById(endpoints, selector)) {
        return {endpoint, L""};
    }
    const std::wstring wanted = Lowered(selector);
    std::vector<const EndpointInfo*> matches;
    for (const EndpointInfo& endpoint : endpoints) {
        if (Lowered(endpoint.friendlyName).find(wanted) != std::wstring::npos) {
            matches.push_back(&endpoint);
        }
    }
    if (matches.size() == 1) {
        return {matches.front(), L""};
    }
    if (matches.empty()) {
        return {nullptr, L"no render endpoint has the id \"" + selector +
                             L"\" or a name containing it (kovractl list shows them)"};
    }
    return {nullptr, AmbiguityMessage(selector, matches)};
}

bool EndpointGuidOf(const std::wstring& id, std::wstring& guid) {
    const size_t dot = id.rfind(L'.');
    const std::wstring candidate = dot == std::wstring::npos ? id : id.substr(dot + 1);
    IID parsed;
    if (candidate.size() != kGuidTextLength || candidate.front() != L'{' ||
        FAILED(IIDFromString(candidate.c_str(), &parsed))) {
        return false;
    }
    guid = candidate;
    return true;
}

std::wstring EndpointTitle(const EndpointInfo& endpoint) {
    return endpoint.friendlyName.empty() ? endpoint.id : endpoint.friendlyName;
}
