#include "rows/resultrows.h"

#include "rows/rowtext.h"

#include <algorithm>

TNameMatch::TNameMatch(std::vector<std::string> keywords, bool ignoreCase, TUpper upper, bool exact)
    : FKeywords(std::move(keywords)), FUpper(ignoreCase ? upper : nullptr), FExact(exact),
      FMatchesAll(!exact && std::any_of(FKeywords.begin(), FKeywords.end(),
                                        [](const std::string &k) { return k.empty(); }))
{
    if (FUpper)
        for (std::string &k : FKeywords)
            FUpper(k);
}

bool TNameMatch::operator()(std::string_view name) const
{
    // A full listing matches every name without upper-casing one.
    size_t start, length;
    return FMatchesAll || Find(name, start, length);
}

bool TNameMatch::Find(std::string_view name, size_t &start, size_t &length) const
{
    // A copy to upper-case (short names stay inside the string object). Not
    // a thread_local buffer: MinGW runs the destructors of thread_local
    // objects unreliably at thread exit (a crash or a hang seen under Wine).
    std::string upper;
    if (FUpper) {
        upper.assign(name);
        FUpper(upper);
        name = upper;
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

bool MatchEntry(const TNameEntry &entry, bool exportTable, bool unnamedExports, const TNameMatch &match,
                std::string_view &name, std::string_view &module)
{
    if ((entry.Flags & NameUnnamed) && !unnamedExports)
        return false;
    name = entry.Name();
    module = exportTable ? std::string_view() : entry.Detail();
    return match(name);
}

std::string ExportTip(uint32_t index, uint32_t base, std::string_view forwarder)
{
    std::string tip = "序数 " + std::to_string(uint64_t(index) + base) + "（索引 " + std::to_string(index) +
                      " + 基数 " + std::to_string(base) + "）";
    if (!forwarder.empty()) {
        // The target's control bytes show as "?", so that none starts a line.
        tip += "\r\n転送先: ";
        for (const char c : forwarder)
            tip += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
    }
    return tip;
}

std::string ImportTip(bool delayLoaded)
{
    return delayLoaded ? "遅延読み込み" : "通常の読み込み";
}

void SortResultRows(TResultRows &rows, TSortKey key)
{
    auto text = [](std::string TResultRow::*field) {
        return [field](const TResultRow &a, const TResultRow &b) { return CompareText(a.*field, b.*field) < 0; };
    };
    switch (key) {
    case TSortKey::Name:
        std::stable_sort(rows.begin(), rows.end(), text(&TResultRow::Name));
        break;
    case TSortKey::Number:
        std::stable_sort(rows.begin(), rows.end(), [](const TResultRow &a, const TResultRow &b) {
            return CompareNumberText(a.Number, b.Number) < 0;
        });
        break;
    case TSortKey::Module:
        std::stable_sort(rows.begin(), rows.end(), text(&TResultRow::Module));
        break;
    case TSortKey::Path:
        std::stable_sort(rows.begin(), rows.end(), text(&TResultRow::Path));
        break;
    case TSortKey::None:
        break;
    }
}
