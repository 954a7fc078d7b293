#include "rows/resultrows.h"

#include "rows/rowtext.h"

#include <algorithm>

TNameMatch::TNameMatch(const std::string &keyword, bool ignoreCase, TUpper upper)
    : FKeyword(keyword), FUpper(ignoreCase ? upper : nullptr)
{
    if (FUpper)
        FUpper(FKeyword);
}

bool TNameMatch::operator()(std::string_view name) const
{
    if (FKeyword.empty())
        return true;
    if (!FUpper)
        return name.find(FKeyword) != std::string_view::npos;
    // A copy to upper-case (short names stay inside the string object). Not
    // a thread_local buffer: MinGW runs the destructors of thread_local
    // objects unreliably at thread exit (a crash or a hang seen under Wine).
    std::string upper(name);
    FUpper(upper);
    return upper.find(FKeyword) != std::string::npos;
}

bool MatchEntry(const TNameEntry &entry, bool exportTable, const TNameMatch &match, std::string_view &name,
                std::string_view &module)
{
    // An import entry is the function part, a CR and the module's name.
    const std::string_view text = entry.Text;
    const size_t cr = exportTable ? std::string_view::npos : text.find(NameSeparator);
    name = text.substr(0, cr);
    module = cr == std::string_view::npos ? std::string_view() : text.substr(cr + 1);
    return match(name);
}

void AppendResultRows(const TNameList &list, bool exportTable, const std::string &path,
                      const std::string &fileName, const TNameMatch &match, TResultRows &rows)
{
    std::string_view name, module;
    for (const TNameEntry &entry : list)
        if (MatchEntry(entry, exportTable, match, name, module))
            rows.push_back({std::string(name), std::to_string(static_cast<int32_t>(entry.Number)),
                            exportTable ? fileName : std::string(module), path});
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
