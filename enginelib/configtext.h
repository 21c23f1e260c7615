// Small text helpers for the configuration parser: lines, comments, words and numbers, all
// locale-independent (a process's C locale must not change how a file reads).
#ifndef KOVRA_CONFIGTEXT_H
#define KOVRA_CONFIGTEXT_H

#include <cstddef>
#include <string_view>
#include <vector>

namespace kovra {

// Walks a text line by line; a line ends at '\n', and a '\r' before it is dropped.
class LineReader {
public:
    LineReader(const char* text, std::size_t length);
    bool next(std::string_view& line);
    int lineNumber() const { return lineNumber_; }

private:
    std::string_view rest_;
    int lineNumber_ = 0;
};

// The line without its comment ('#' or ';' up to the end) and without surrounding blanks.
std::string_view StripCommentAndBlanks(std::string_view line);

std::string_view TrimBlanks(std::string_view text);

// The blank-separated words of a value.
std::vector<std::string_view> SplitWords(std::string_view text);

// The first character that has no place in a configuration line (a control character other
// than tab), or npos when there is none.
std::size_t FindForbiddenCharacter(std::string_view line);

// Reads a whole word as a finite decimal number ("-3", "+0.5", "1e3"); false for anything else,
// including "nan" and "inf".
bool ParseFiniteNumber(std::string_view word, double& value);

} // namespace kovra

#endif
