#include "platform/media_command.h"

#include <array>
#include <span>
#include <vector>

namespace cantrix {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kAliasWord = "alias";
constexpr std::array<std::string_view, 2> kSeekWords = {"to", "start"};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool SameWord(std::string_view word, std::string_view keyword)
{
    if (word.size() != keyword.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        char c = word[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != keyword[i])
            return false;
    }
    return true;
}

std::string_view Trim(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::vector<std::string_view> SplitWords(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t at = text.find_first_not_of(kBlanks);
    while (at != std::string_view::npos) {
        const std::size_t end = text.find_first_of(kBlanks, at);
        words.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        at = text.find_first_not_of(kBlanks, end);
    }
    return words;
}

bool IsAliasName(std::string_view word)
{
    return !word.empty() && word.find_first_of(" \t\"") == std::string_view::npos;
}

// The length of `" alias ` (quote, blanks, the word, blanks) starting at `at`, or 0.
std::size_t AliasSeparatorAt(std::string_view text, std::size_t at)
{
    if (text[at] != '"')
        return 0;
    std::size_t i = at + 1;
    const std::size_t blanksBefore = i;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    if (i == blanksBefore || !SameWord(text.substr(i, kAliasWord.size()), kAliasWord))
        return 0;
    i += kAliasWord.size();
    const std::size_t blanksAfter = i;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return i == blanksAfter ? 0 : i - at;
}

MciResult ParseOpen(std::string_view rest, MediaCommand& command)
{
    if (rest.empty())
        return MciResult::MissingParameter;
    if (!IsBlank(rest.front()))
        return MciResult::UnrecognizedCommand;
    rest = Trim(rest);
    if (rest.front() != '"')
        return MciResult::UnrecognizedKeyword;
    // Search from the end, so that a path holding the separator itself is kept whole.
    for (std::size_t at = rest.size(); at-- > 1;) {
        const std::size_t separator = AliasSeparatorAt(rest, at);
        if (separator == 0)
            continue;
        const std::string_view name = rest.substr(at + separator);
        if (!IsAliasName(name))
            return MciResult::UnrecognizedKeyword;
        if (at == 1)
            return MciResult::MissingParameter;
        command.verb = MediaCommand::Verb::Open;
        command.path = std::string(rest.substr(1, at - 1));
        command.alias = std::string(name);
        return MciResult::NoError;
    }
    return rest.find('"', 1) == std::string_view::npos ? MciResult::NoClosingQuote
                                                       : MciResult::MissingParameter;
}

// Checks that `words` are `keywords` followed by one alias name.
MciResult MatchWords(const std::vector<std::string_view>& words, std::span<const std::string_view> keywords)
{
    std::size_t i = 0;
    for (std::string_view keyword : keywords) {
        if (i == words.size())
            return MciResult::MissingParameter;
        if (!SameWord(words[i++], keyword))
            return MciResult::UnrecognizedKeyword;
    }
    if (i == words.size())
        return MciResult::MissingParameter;
    if (i + 1 != words.size() || !IsAliasName(words[i]))
        return MciResult::UnrecognizedKeyword;
    return MciResult::NoError;
}

} // namespace

MciResult MediaCommand::Parse(std::string_view text, MediaCommand& command)
{
    if (text.find('\0') != std::string_view::npos)
        return MciResult::UnrecognizedKeyword;
    text = Trim(text);
    const std::string_view verb = text.substr(0, text.find_first_of(kBlanks));
    const std::string_view rest = text.substr(verb.size());
    if (SameWord(verb, "open"))
        return ParseOpen(rest, command);

    MediaCommand parsed;
    std::span<const std::string_view> keywords;
    if (SameWord(verb, "seek")) {
        parsed.verb = Verb::SeekToStart;
        keywords = kSeekWords;
    } else if (SameWord(verb, "play")) {
        parsed.verb = Verb::Play;
    } else if (SameWord(verb, "stop")) {
        parsed.verb = Verb::Stop;
    } else if (SameWord(verb, "close")) {
        parsed.verb = Verb::Close;
    } else {
        return MciResult::UnrecognizedCommand;
    }
    const std::vector<std::string_view> words = SplitWords(rest);
    const MciResult result = MatchWords(words, keywords);
    if (result != MciResult::NoError)
        return result;
    parsed.alias = std::string(words.back());
    command = std::move(parsed);
    return MciResult::NoError;
}

} // namespace cantrix
