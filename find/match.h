// The names kalvex-find looks for: any of its keywords, inside a name or
// (exact) the whole name, with or without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TKeywordMatch {
public:
    using TUpper = void (*)(std::string &);
    // upper folds letters when ignoreCase is set (FindUpperCase).
    TKeywordMatch(std::vector<std::string> keywords, bool ignoreCase, bool exact, TUpper upper);

    // Whether a keyword matches name; if so, where the earliest match starts
    // and how long it is (the whole name for an exact match).
    bool Find(std::string_view name, size_t &start, size_t &length) const;
    bool operator()(std::string_view name) const
    {
        size_t start, length;
        return Find(name, start, length);
    }

private:
    std::vector<std::string> FKeywords;  // folded when case does not count
    TUpper FUpper;                       // null: case counts
    bool FExact;
};
