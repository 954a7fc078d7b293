// The system loader's reading of a module, kept as the oracle that our own
// reader is compared with: the module is mapped as an image resource and its
// table walked through a view limited to the mapped image and its readable
// pages.
#include "tests/scan/loaderreader.h"

#include "framework/textutil.h"
#include "scan/peimage.h"

#include <windows.h>
#include <imagehlp.h>

#include <fstream>

namespace {

bool IsReadable(DWORD protect)
{
    if (protect & (PAGE_GUARD | PAGE_NOACCESS))
        return false;
    return (protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                       PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// The image is one allocation starting at the module handle; its readable
// committed regions become the view's ranges. The size is the smaller of the
// allocation and the header's SizeOfImage.
TImageView MappedImageView(HMODULE module)
{
    const uint8_t *base = reinterpret_cast<const uint8_t *>(module);
    std::vector<TByteRange> readable;
    const uint8_t *p = base;
    MEMORY_BASIC_INFORMATION info;
    while (VirtualQuery(p, &info, sizeof info) == sizeof info && info.AllocationBase == base &&
           info.RegionSize > 0) {
        const uint32_t begin = static_cast<uint32_t>(p - base);
        if (info.State == MEM_COMMIT && IsReadable(info.Protect))
            readable.push_back({begin, static_cast<uint32_t>(begin + info.RegionSize)});
        p += info.RegionSize;
        if (p < base)
            break;
    }
    const uint32_t allocation = static_cast<uint32_t>(p - base);
    TImageView first(base, allocation, readable);
    uint32_t peOffset, sizeOfImage;
    // IMAGE_DOS_HEADER.e_lfanew at 0x3C; SizeOfImage at 0x50 into IMAGE_NT_HEADERS32.
    if (first.ReadU32(0x3C, peOffset) && peOffset <= UINT32_MAX - 0x50 &&
        first.ReadU32(peOffset + 0x50, sizeOfImage) && sizeOfImage < allocation)
        return TImageView(base, sizeOfImage, readable);
    return first;
}

// The loader appends ".dll" to a name without an extension and may then map
// another file; a trailing "." keeps the name as given.
std::string LoaderPath(const std::string &path)
{
    const std::string name = ExtractFileName(path);
    if (name.empty() || name.find('.') != std::string::npos)
        return path;
    return path + ".";
}

// 0 when the optional header's magic is PE32 (0x10B), else CodeBadExeFormat:
// a PE32+ image mapped by a loader would have its 64-bit thunks misread.
uint32_t CheckPe32(const TImageView &image)
{
    uint32_t nt, signature, magicRva;
    uint16_t magic;
    if (!image.ReadU32(0x3C, nt) || !image.ReadU32(nt, signature) || signature != 0x00004550 ||
        !FIImage::ElementRva(nt, 24, 1, magicRva) || !image.ReadU16(magicRva, magic) || magic != 0x10B)
        return CodeBadExeFormat;
    return 0;
}

// The image base in the file's optional header (PE32), which the addresses
// of an old-style delay-load descriptor count from, whatever the loader
// makes of its mapped copy of the header; 0 if it cannot be read.
uint32_t PreferredBase(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    uint32_t nt = 0, base = 0;
    in.seekg(0x3C);
    in.read(reinterpret_cast<char *>(&nt), sizeof nt);
    in.seekg(std::streamoff(nt) + 24 + 28);
    in.read(reinterpret_cast<char *>(&base), sizeof base);
    return in ? base : 0;
}

}  // namespace

uint32_t LoaderReadFunctionNames(const std::string &path, bool exportTable, TNameList &list)
{
    // Mapped as an image resource: laid out section by section like any
    // image, no code run, no dependency loaded, and - unlike a module loaded
    // with DONT_RESOLVE_DLL_REFERENCES - not registered as a loaded module,
    // so a LoadLibrary of the same DLL elsewhere in the program never gets
    // this copy with its imports unresolved (and crashes calling into it).
    // No critical-error box for this thread while the loader works.
    DWORD oldMode = 0;
    const bool modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &oldMode) != 0;
    HMODULE module = LoadLibraryExA(LoaderPath(path).c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    const uint32_t loadError = module ? 0 : GetLastError();
    if (modeSet)
        SetThreadErrorMode(oldMode, nullptr);
    if (!module)
        return loadError;
    // Released on every path from here on.
    struct TRelease {
        HMODULE Module;
        ~TRelease() { FreeLibrary(Module); }
    } release{module};
    // The handle of a resource mapping carries flags in its low bits.
    HMODULE base = reinterpret_cast<HMODULE>(reinterpret_cast<uintptr_t>(module) & ~uintptr_t(3));
    const TImageView image = MappedImageView(base);

    // A PE32+ image may be mapped too (not by every loader); its 64-bit
    // thunks would read as wrong 32-bit ones.
    uint32_t code = CheckPe32(image);
    if (code != 0)
        return code;
    // The lookup leaves the last error untouched when the module simply has
    // no such directory (seen under Wine); a code left by earlier work would
    // otherwise read as this module's failure.
    SetLastError(0);
    auto lookUp = [base](USHORT entry, TDirectory &dir) {
        ULONG size = 0;
        void *at = ImageDirectoryEntryToData(base, TRUE, entry, &size);
        if (!at)
            return false;
        const uintptr_t rva = reinterpret_cast<uintptr_t>(at) - reinterpret_cast<uintptr_t>(base);
        dir = TDirectory(rva <= UINT32_MAX ? static_cast<uint32_t>(rva) : UINT32_MAX, size);
        return true;
    };
    // As our reader, the import table and then the delay-load table.
    TDirectory exports, imports, delayLoad;
    const bool found = exportTable ? lookUp(IMAGE_DIRECTORY_ENTRY_EXPORT, exports)
                                   : lookUp(IMAGE_DIRECTORY_ENTRY_IMPORT, imports) |
                                         lookUp(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT, delayLoad);
    if (!found)
        return GetLastError();
    list.clear();
    try {
        if (exportTable) {
            code = WalkExportNames(image, exports, list);
        } else {
            TImportTables tables;
            tables.Imports = imports.Rva;
            tables.DelayLoad = delayLoad.Rva;
            tables.ImageBase = PreferredBase(path);
            code = WalkImportTables(image, tables, list);
        }
    } catch (...) {
        code = CodeWalkFault;  // exhausted memory while the list grew
    }
    return code;
}
