#include "find/match.h"

TKeywordMatch::TKeywordMatch(std::vector<std::string> keywords, bool ignoreCase, bool exact, TUpper upper)
    : FKeywords(std::move(keywords)), FUpper(ignoreCase ? upper : nullptr), FExact(exact)
{
    if (FUpper)
        for (std::string &k : FKeywords)
            FUpper(k);
}

bool TKeywordMatch::Find(std::string_view name, size_t &start, size_t &length) const
{
    // Upper-casing keeps every byte in its place, so a match in the folded
    // copy is one at the same bytes of the name. Not a thread_local buffer:
    // MinGW runs the destructors of thread_local objects unreliably.
    std::string folded;
    if (FUpper) {
        folded.assign(name);
        FUpper(folded);
        name = folded;
    }
    bool found = false;
    for (const std::string &k : FKeywords) {
        const size_t at = FExact ? (name == k ? 0 : std::string_view::npos) : name.find(k);
        if (at != std::string_view::npos && (!found || at < start)) {
            found = true;
            start = at;
            length = k.size();
        }
    }
    return found;
}
