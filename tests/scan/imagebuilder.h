// Builds small PE32 and PE32+ DLL images for the reader's tests. File layout
// and image layout are the same (both alignments 0x1000, raw data at the
// section's RVA), so the bytes can be walked in memory as an image, read as a
// file, or written to disk for the system loader. Portable: no Win32 headers.
#pragma once

#include "scan/imageview.h"
#include "scan/nametables.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class TPeBuilder {
public:
    static const uint32_t DataRva = 0x1000;  // the one section starts here
    static const uint32_t Nt = 0x80;         // e_lfanew: IMAGE_NT_HEADERS
    static const uint32_t Optional = Nt + 24;
    // Offsets of the optional header's fields and of the section header.
    static const uint32_t MagicAt = Optional;
    static const uint32_t SectionAlignmentAt = Optional + 32;
    static const uint32_t FileAlignmentAt = Optional + 36;
    static const uint32_t SizeOfImageAt = Optional + 56;
    static const uint32_t SizeOfHeadersAt = Optional + 60;
    // Export directory fields.
    static const uint32_t ExportDirectorySize = 40;
    static const uint32_t NumberOfNamesAt = 24;

    // A DLL with one readable section of dataPages pages; pe32plus makes a
    // PE32+ (64-bit) image with 64-bit import thunks.
    explicit TPeBuilder(uint32_t dataPages = 2, uint32_t imageBase = 0x30000000, bool pe32plus = false);

    uint32_t Size() const { return static_cast<uint32_t>(Bytes.size()); }
    uint32_t NtHeaders() const { return Nt; }
    bool Is64() const { return FIs64; }
    uint64_t ImageBase() const { return FImageBase; }
    uint32_t DirectoryAt(int index) const;   // offset of a data directory entry
    uint32_t SectionAt() const;              // offset of the section header
    void SetDirectory(int index, uint32_t rva, uint32_t size);
    void Put16(uint32_t rva, uint16_t value);
    void Put32(uint32_t rva, uint32_t value);
    void Put64(uint32_t rva, uint64_t value);
    void PutString(uint32_t rva, const std::string &text);  // with its zero byte
    uint32_t Get32(uint32_t rva) const;
    bool WriteTo(const std::string &path) const;

    // A slot of the export address table: code at an RVA (0: an empty slot),
    // or a forwarder whose target text lies inside the directory.
    struct TSlot {
        uint32_t Code;
        std::string Forwarder = "";
    };
    // Lays out an export directory at dirRva (Base 1) with its name and
    // ordinal arrays, the address table of slots, and the names and
    // forwarder texts after them; the directory's size reaches the last
    // byte. Returns the RVA past the last byte written.
    uint32_t PutExports(uint32_t dirRva, const std::vector<std::string> &names,
                        const std::vector<uint16_t> &ordinals, const std::vector<TSlot> &slots = {});
    struct TImport {
        std::string Module;
        std::vector<std::string> Names;      // by name, Hint = 100 + index
        std::vector<uint16_t> Ordinals;      // by ordinal, after the names
    };
    // Lays out import descriptors at dirRva (ended by a zero descriptor) and
    // their lookup tables and names after them; returns the end RVA.
    uint32_t PutImports(uint32_t dirRva, const std::vector<TImport> &imports);
    // The same as delay-load descriptors (data directory 13): attributes 1
    // and RVAs, or with oldStyle attributes 0 and every address a virtual
    // address (the image base added, cut to 32 bits in the descriptor).
    uint32_t PutDelayImports(uint32_t dirRva, const std::vector<TImport> &imports, bool oldStyle = false);

    std::vector<uint8_t> Bytes;

private:
    // Descriptors of descSize bytes with the addresses of the module name,
    // the lookup table and the address table (the lookup table's copy) at
    // nameAt, tableAt and iatAt, va added to every address.
    uint32_t PutDescriptors(uint32_t dirRva, const std::vector<TImport> &imports, uint32_t descSize,
                            uint32_t nameAt, uint32_t tableAt, uint32_t iatAt, uint64_t va);

    bool FIs64;
    uint64_t FImageBase;
};

// Import tables that cost a walk far more than their size unless it counts
// what it reads and holds.
// Descriptors fill the first half of a size-byte image (size a multiple of
// 0x1000), each with an empty lookup table and all naming one module whose
// name fills the second half; a zero descriptor ends them. Read once, it
// gives no entries and code 0. delayLoad makes them delay-load descriptors.
TPeBuilder SharedNameImports(uint32_t size, bool delayLoad = false);
// descriptors descriptors that all share one lookup table of thunks imports
// by ordinal from module "A": descriptors * thunks tiny entries from a file
// of a few pages.
TPeBuilder OrdinalFloodImports(uint32_t descriptors, uint32_t thunks);

// An export table of names names, "F0000000" on (name i numbered i & 0xFFFF),
// spread over an image of sections sections (at least 3, file alignment
// 0x200): the directory and its arrays fill the first section, the others
// show overlapping windows of the names' raw data, each name lying in a
// section other than the one before it. oneSection gives the same file with
// one section over it all. Too many names for the sections (more than 16 a
// sector) give an image without exports.
TPeBuilder SpreadExports(uint32_t sections, uint32_t names, bool oneSection = false);

// A read's code, base and every field of every entry, one line each: what
// tests compare when every byte of a read counts.
std::string NameListText(uint32_t code, uint32_t base, const TNameList &list);

// A change to a good image of two exports, Alpha (0) and Beta (1), and what
// reading its export table gives: the loader's layout, case by case.
using TNamePairs = std::vector<std::pair<std::string, uint32_t>>;
// The entry that a list holds before the read: left alone when no table is read.
const TNamePairs Untouched{{"sentinel", 7}};
struct TLayoutCase {
    const char *Name;
    std::function<void(TPeBuilder &, uint32_t section)> Change;  // section: its header's offset
    uint32_t Code;
    TNamePairs Pairs;
    const char *LoaderDiffers;  // why the loader in a 32-bit process reads it otherwise, or null
};
const std::vector<TLayoutCase> &LayoutCases();
TPeBuilder LayoutCaseImage(const TLayoutCase &c, bool pe32plus);

// The image copied into memory that nothing past its ends may be read from:
// between two inaccessible pages on Windows, an exactly sized heap block
// elsewhere (the address sanitizer guards it). Pages listed in holes are left
// out of the view's readable ranges (and made inaccessible on Windows).
class TGuardedImage {
public:
    explicit TGuardedImage(const std::vector<uint8_t> &bytes, const std::vector<uint32_t> &holes = {});
    ~TGuardedImage();
    TGuardedImage(const TGuardedImage &) = delete;
    TGuardedImage &operator=(const TGuardedImage &) = delete;

    const TImageView &View() const { return FView; }
    uint8_t *Data() { return FData; }

private:
    uint8_t *FBlock;
    uint8_t *FData;
    TImageView FView;
};
