// Our reader against the system loader's reading (the oracle): every file of
// the system folder, randomly damaged copies of real DLLs and of an image
// whose section alignment is below a page, both tables, and the layout cases.
// Where the loader maps a file, both must give the same code and entries;
// where it refuses one, our reader's result is checked against objdump by
// the SystemDlls test instead.
#include "scan/modulereader.h"
#include "scan/peimage.h"
#include "tests/scan/imagebuilder.h"
#include "tests/scan/loaderreader.h"
#include "tests/testpaths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

namespace {

struct TResult {
    uint32_t Code;
    TNameList List;
    bool operator==(const TResult &o) const
    {
        if (Code != o.Code || List.size() != o.List.size())
            return false;
        for (size_t i = 0; i < List.size(); ++i)
            if (List[i].Text != o.List[i].Text || List[i].Number != o.List[i].Number)
                return false;
        return true;
    }
};

TResult Ours(const std::string &path, bool exportTable)
{
    TResult r;
    r.Code = ReadFunctionNames(path, exportTable, r.List);
    return r;
}

TResult Loader(const std::string &path, bool exportTable)
{
    TResult r;
    r.Code = LoaderReadFunctionNames(path, exportTable, r.List);
    return r;
}

std::string SystemFolder()
{
    char sys[MAX_PATH];
    GetSystemDirectoryA(sys, MAX_PATH);
    return std::string(sys) + "\\";
}

std::vector<std::string> FilesOf(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA find;
    HANDLE h = FindFirstFileA((folder + "*.*").c_str(), &find);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        if (!(find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(find.cFileName);
    while (FindNextFileA(h, &find));
    FindClose(h);
    return names;
}

// The header fields the documented exceptions depend on.
struct THeaders {
    uint16_t Machine = 0;
    uint16_t Sections = 0;
    uint32_t SizeOfImage = 0;
    std::vector<uint32_t> VirtualSizes, Characteristics;
};

THeaders HeadersOf(const std::vector<uint8_t> &b)
{
    THeaders h;
    auto u32 = [&](size_t at) {
        uint32_t v = 0;
        if (at + 4 <= b.size())
            std::memcpy(&v, &b[at], 4);
        return v;
    };
    const size_t nt = u32(0x3C), optional = nt + 24;
    h.Machine = static_cast<uint16_t>(u32(nt + 4));
    h.Sections = static_cast<uint16_t>(u32(nt + 4) >> 16);
    h.SizeOfImage = u32(optional + 56);
    const size_t table = optional + (u32(nt + 20) & 0xFFFF);
    for (uint32_t i = 0; i < (u32(nt + 4) >> 16) && table + 40 * i + 40 <= b.size(); ++i) {
        h.VirtualSizes.push_back(u32(table + 40 * i + 8));
        h.Characteristics.push_back(u32(table + 40 * i + 36));
    }
    return h;
}

// Where our reader and the loader may differ on a damaged copy, and why.
struct TException {
    uint32_t Loader, Ours;
    const char *Reason;
    bool (*Applies)(const THeaders &);
};
const TException Exceptions[] = {
    {0, CodeBadExeFormat,
     "a section's virtual size within a page of 4 GiB: Wine's loader rounds it up to 0 in 32 bits and "
     "shows the section as zeros, Windows refuses the image, and so do we",
     [](const THeaders &h) {
         for (uint32_t v : h.VirtualSizes)
             if (v > 0xFFFFF000u)
                 return true;
         return false;
     }},
    {CodeWalkFault, 0,
     "a section without the read flag: the loader maps it inaccessible, a reader of the file's data "
     "has no page protections",
     [](const THeaders &h) {
         for (uint32_t c : h.Characteristics)
             if (!(c & 0x40000000u))
                 return true;
         return false;
     }},
    {ERROR_NOT_ENOUGH_MEMORY, 0,
     "SizeOfImage beyond the free address space: the loader reserves it, we read only the tables",
     [](const THeaders &h) { return h.SizeOfImage >= 0x40000000u; }},
    {CodeBadExeFormat, 0,
     "a machine the loader does not run (seen as damage to the field): it refuses the image, we read the "
     "tables of any machine",
     [](const THeaders &h) {
         for (uint16_t m : {0x14C, 0x8664, 0x1C4, 0xAA64})  // x86, x64, ARM Thumb-2, ARM64
             if (h.Machine == m)
                 return false;
         return true;
     }},
    {CodeBadExeFormat, 0,
     "more than 96 sections: Wine's loader refuses the image, we read it",
     [](const THeaders &h) { return h.Sections > 96; }},
    {CodeBadExeFormat, 0,
     "the loader refuses a section table it would not map (RVAs out of order or unaligned, an alignment "
     "out of range); we lay out what the table says and read the tables there",
     [](const THeaders &) { return true; }},
    {CodeBadExeFormat, CodeWalkFault, "as above, and the tables lead outside the image so laid out",
     [](const THeaders &) { return true; }},
};

std::vector<uint8_t> FileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

// One random damage of a copy: header bytes, bytes anywhere, the file cut
// short, or one 32-bit value of the first headerBytes set to an extreme.
void Damage(std::vector<uint8_t> &bytes, int kind, uint32_t headerBytes, std::mt19937 &random)
{
    switch (kind % 4) {
    case 0:
        for (int i = 0; i < 1 + int(random() % 4); ++i)
            bytes[random() % headerBytes] = static_cast<uint8_t>(random());
        break;
    case 1:
        for (int i = 0; i < 1 + int(random() % 16); ++i)
            bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        break;
    case 2:
        bytes.resize(random() % bytes.size());
        break;
    default:
        const uint32_t at = (random() % (headerBytes / 4)) * 4;
        const uint32_t values[] = {0, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0x1000, uint32_t(random())};
        const uint32_t v = values[random() % 6];
        if (at + 4 <= bytes.size())
            std::memcpy(&bytes[at], &v, 4);
    }
}

// Reads the damaged copy at path both ways, both tables: agreeing tables are
// counted in compared, known differences by their reason, others fail.
void CompareWithLoader(const std::string &path, const std::vector<uint8_t> &bytes, int &compared,
                       std::map<std::string, int> &exceptions)
{
    WriteFile(path, bytes);
    for (bool exportTable : {true, false}) {
        const TResult loader = Loader(path, exportTable);
        const TResult ours = Ours(path, exportTable);
        if (loader == ours) {
            ++compared;
            continue;
        }
        const THeaders headers = HeadersOf(bytes);
        const TException *known = nullptr;
        for (const TException &e : Exceptions)
            if (!known && e.Loader == loader.Code && e.Ours == ours.Code && e.Applies(headers))
                known = &e;
        if (known)
            ++exceptions[known->Reason];
        else
            ADD_FAILURE() << path << (exportTable ? " exports" : " imports") << ": loader " << loader.Code
                          << ", ours " << ours.Code << ", " << loader.List.size() << " / " << ours.List.size()
                          << " entries";
    }
    DeleteFileA(path.c_str());
}

// rounds damaged copies of the originals in turn (headerBytes of headers
// damaged too), each compared with the loader; prints what it found and
// returns the tables that read alike.
int CompareDamagedCopies(const std::vector<std::vector<uint8_t>> &originals, int rounds, uint32_t headerBytes,
                         unsigned seed, const std::string &name)
{
    const std::string dir = NewTempDir(name);
    std::mt19937 random(seed);
    std::map<std::string, int> exceptions;
    int compared = 0;
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint8_t> bytes = originals[round % originals.size()];
        Damage(bytes, round, headerBytes, random);
        char file[32];
        std::snprintf(file, sizeof file, "%.3s%05d.dll", name.c_str(), round);
        CompareWithLoader(dir + file, bytes, compared, exceptions);
    }
    RemoveDirectoryA(dir.c_str());
    for (const auto &e : exceptions)
        std::printf("%d tables: %s\n", e.second, e.first.c_str());
    std::printf("%d tables read alike\n", compared);
    return compared;
}

// A good image whose section alignment is below a page: two sections that
// lie where their raw data is, sizes not whole pages, exports and imports.
std::vector<uint8_t> LowAlignmentImage()
{
    TPeBuilder b(3);
    const uint32_t sec = b.SectionAt();
    b.Put32(TPeBuilder::SectionAlignmentAt, 0x200);
    b.Put32(TPeBuilder::FileAlignmentAt, 0x200);
    b.Put32(TPeBuilder::SizeOfHeadersAt, 0x200);
    b.Put32(sec + 8, 0x1600);
    b.Put32(sec + 16, 0x1600);
    b.Put16(TPeBuilder::Nt + 6, 2);
    std::memcpy(&b.Bytes[sec + 40], ".idata", 6);
    b.Put32(sec + 40 + 8, 0x1900);    // VirtualSize
    b.Put32(sec + 40 + 12, 0x2600);   // VirtualAddress
    b.Put32(sec + 40 + 16, 0x1A00);   // SizeOfRawData
    b.Put32(sec + 40 + 20, 0x2600);   // PointerToRawData
    b.Put32(sec + 40 + 36, 0x40 | 0x40000000);
    b.PutExports(TPeBuilder::DataRva, {"Alpha", "Beta", "Gamma"}, {2, 0, 1});
    b.PutImports(0x2600, {{"K.dll", {"F", "G"}, {17}}, {"W.dll", {"H"}, {}}});
    return b.Bytes;
}

}  // namespace

TEST(Differential, SystemFolderReadsAsTheLoaderReadsIt)
{
    const std::string sys = SystemFolder();
    int agreed = 0;
    std::map<uint32_t, int> refused;  // the loader's code: files
    for (const std::string &name : FilesOf(sys))
        for (bool exportTable : {true, false}) {
            const TResult loader = Loader(sys + name, exportTable);
            const TResult ours = Ours(sys + name, exportTable);
            if (loader.Code == 0 || loader.Code == CodeWalkFault) {
                EXPECT_TRUE(ours == loader) << name << (exportTable ? " exports" : " imports") << ": "
                                            << ours.Code << " " << ours.List.size() << " entries, loader "
                                            << loader.Code << " " << loader.List.size();
                ++agreed;
            } else {
                ++refused[loader.Code];
                // A file the loader cannot map: ours reads it as PE or says
                // it is none, never a walk fault on a file of the system's.
                EXPECT_TRUE(ours.Code == 0 || ours.Code == CodeBadExeFormat) << name << " " << ours.Code;
                if (ours.Code == 0 && exportTable)
                    std::printf("the loader refuses %s with code %u; we read %u exports\n", name.c_str(),
                                loader.Code, unsigned(ours.List.size()));
            }
        }
    for (const auto &r : refused)
        std::printf("the loader refused %d tables with code %u\n", r.second, r.first);
    std::printf("%d tables read alike\n", agreed);
    EXPECT_GT(agreed, 1000);
}

TEST(Differential, DamagedCopiesOfRealDllsReadAsTheLoaderReadsThem)
{
    const std::string sys = SystemFolder();
    const char *sources[] = {"version.dll", "imagehlp.dll", "ws2_32.dll", "comdlg32.dll", "msvcrt.dll",
                             "advapi32.dll", "shlwapi.dll", "oleaut32.dll"};
    std::vector<std::vector<uint8_t>> originals;
    for (const char *s : sources) {
        originals.push_back(FileBytes(sys + s));
        ASSERT_GT(originals.back().size(), 4096u) << s;
    }
    CompareDamagedCopies(originals, 2000, 1024, 20261208, "dmg");
}

TEST(Differential, DamagedLowAlignmentImagesReadAsTheLoaderReadsThem)
{
    // The loader lays such an image out as the file; our copies damage the
    // headers and the section table (0x200 bytes) too.
    EXPECT_GT(CompareDamagedCopies({LowAlignmentImage()}, 800, 0x200, 20261209, "low"), 800);
}

TEST(Differential, LayoutCasesReadAsTheLoaderReadsThem)
{
    const std::string dir = NewTempDir("layout");
    int index = 0;
    for (const TLayoutCase &c : LayoutCases()) {
        const std::string path = dir + "layout" + std::to_string(index++) + ".dll";
        ASSERT_TRUE(LayoutCaseImage(c, false).WriteTo(path));
        for (bool byLoader : {true, false}) {
            TNameList list{{Untouched[0].first, Untouched[0].second, 0, 0}};
            const uint32_t code = byLoader ? LoaderReadFunctionNames(path, true, list)
                                           : ReadFunctionNames(path, true, list);
            TNamePairs pairs;
            for (const TNameEntry &e : list)
                pairs.emplace_back(e.Text, e.Number);
            // The one such case is an image too large for a 32-bit process.
            if (byLoader && c.LoaderDiffers && sizeof(void *) == 4) {
                EXPECT_FALSE(code == c.Code && pairs == c.Pairs) << c.Name << ": the loader now reads it as we do";
                continue;
            }
            EXPECT_EQ(c.Code, code) << c.Name << (byLoader ? " (loader)" : "");
            EXPECT_EQ(c.Pairs, pairs) << c.Name << (byLoader ? " (loader)" : "");
        }
        DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(dir.c_str());
}
