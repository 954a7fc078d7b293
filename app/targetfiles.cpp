#include "app/targetfiles.h"

const TFileMask FileMaskTable[4] = {
    {"DLLファイル", "*.dll"},
    {"実行ファイル", "*.exe"},
    {"DLLおよび実行ファイル", "*.dll;*.exe"},
    {"すべてのファイル", "*.*"},
};

std::string FileMaskEntryText(const TFileMask &row)
{
    return std::string(row.Label) + " (" + row.Mask + ")";
}

std::string FileMaskFilter()
{
    std::string filter;
    for (const TFileMask &row : FileMaskTable) {
        if (!filter.empty())
            filter += "|";
        filter += FileMaskEntryText(row) + "|" + row.Mask;
    }
    return filter;
}

std::string FileMaskOf(int index)
{
    return FileMaskTable[index >= 0 && index < FileMaskCount ? index : 0].Mask;
}
