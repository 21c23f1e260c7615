#include "configtext.h"

#include <charconv>
#include <cmath>

namespace kovra {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

LineReader::LineReader(const char* text, std::size_t length)
    : rest_(text == nullptr ? std::string_view() : std::string_view(text, length)) {
    // A byte order mark from an editor that saves "UTF-8 with BOM" is not content.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (rest_.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        rest_.remove_prefix(kByteOrderMark.size());
    }
}

bool LineReader::next(std::string_view& line) {
    if (rest_.empty()) {
        return false;
    }
    const std::size_t end = rest_.find('\n');
    line = rest_.substr(0, end);
    rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    ++lineNumber_;
    return true;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view StripCommentAndBlanks(std::string_view line) {
    const std::size_t comment = line.find_first_of("#;");
    return TrimBlanks(line.substr(0, comment));
}

std::vector<std::string_view> SplitWords(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t position = 0;
    while (position < text.size()) {
        while (position < text.size() && IsBlank(text[position])) {
            ++position;
        }
        const std::size_t start = position;
        while (position < text.size() && !IsBlank(text[position])) {
            ++position;
        }
        if (position > start) {
            words.push_back(text.substr(start, position - start));
        }
    }
    return words;
}

std::size_t FindForbiddenCharacter(std::string_view line) {
    for (std::size_t index = 0; index < line.size(); ++index) {
        const unsigned char c = static_cast<unsigned char>(line[index]);
        if ((c < 0x20 && c != '\t') || c == 0x7F) {
            return index;
        }
    }
    return std::string_view::npos;
}

bool ParseFiniteNumber(std::string_view word, double& value) {
    if (!word.empty() && word.front() == '+') {
        word.remove_prefix(1);
        if (!word.empty() && (word.front() == '+' || word.front() == '-')) {
            return false;
        }
    }
    if (word.empty()) {
        return false;
    }
    double parsed = 0.0;
    const char* end = word.data() + word.size();
    const std::from_chars_result result = std::from_chars(word.data(), end, parsed);
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(parsed)) {
        return false;
    }
    value = parsed;
    return true;
}

} // namespace kovra
