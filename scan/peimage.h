// A module file read as the system loader would lay it out as an image,
// without mapping it: the headers and the section table are read once, and
// each RVA is translated to a file offset when it is read.
//
// The layout follows the loader: the image spans SizeOfImage rounded up to a
// page (an image of size 0, one whose size rounds up past 32 bits and one
// whose section table ends outside it are refused) and reads as zeros where
// no file data lies. Over it lie the headers, as far as SizeOfHeaders or the
// end of the section table, whichever is further, then each section at its
// RVA with its raw data, read from the sector-aligned file offset, up to the
// end of the last page its virtual size reaches: raw data past the virtual
// size shows to that page's end. An image whose section alignment is not a
// multiple of a page lies as in the file (RVA = offset) as far as the image
// reaches, zeros past the file's end; its file alignment must equal its
// section alignment and each section must stand at its raw data, but the
// image's size and the file's end bound no section. An RVA outside the image
// fails to read. Only a few blocks of the file are held at a time, so a file
// of any size costs the same.
#pragma once

#include "scan/filesource.h"
#include "scan/imageview.h"

#include <cstdint>
#include <string>
#include <vector>

// The result code for a file that is neither a PE32 nor a PE32+ image, is cut
// short in its headers, or has sections the loader would refuse.
const uint32_t CodeBadExeFormat = 193;  // ERROR_BAD_EXE_FORMAT

class TPeImage : public FIImage {
public:
    explicit TPeImage(FIByteSource &file) : FFile(file) {}

    // Reads the headers and lays the image out: 0 or CodeBadExeFormat.
    uint32_t Open();
    // PE32+ (64-bit thunks) rather than PE32.
    bool Is64() const { return FIs64; }
    // The preferred load address from the optional header.
    uint64_t ImageBase() const { return FImageBase; }
    // Data directory index as the system's lookup finds it; false when the
    // directory is absent (beyond the count, or at RVA 0). A directory entry
    // that cannot be read fails too, with fault set.
    bool Directory(uint32_t index, TDirectory &dir, bool &fault) const;

    bool Read(uint32_t rva, void *out, uint32_t n) const override;
    bool ReadString(uint32_t rva, std::string &text, uint64_t maxLength = UINT64_MAX) const override;

private:
    // RVAs [Begin, End) of one mapped part, or of one run of the laid-out
    // image: the first FileBytes bytes come from the file at File, the rest
    // are zeros.
    struct TPart {
        uint32_t Begin;
        uint32_t End;
        uint64_t File;
        uint32_t FileBytes;
    };
    // The run that holds rva; null outside the image.
    const TPart *RunAt(uint32_t rva) const;
    // Lays parts, later ones over earlier ones, out as the runs.
    void Resolve(const std::vector<TPart> &parts);
    // Copies n bytes of part at rva; false when the file cannot give them.
    bool CopyFrom(const TPart &part, uint32_t rva, uint8_t *out, uint32_t n) const;
    bool FileRead(uint64_t offset, uint8_t *out, uint32_t n) const;
    // The file's bytes from offset on as far as the block that holds them
    // goes (available of them); null when the file cannot give them.
    const uint8_t *FileSpan(uint64_t offset, uint32_t &available) const;
    uint32_t LayOut(uint32_t sizeOfImage, uint32_t sizeOfHeaders, uint16_t sections,
                    uint32_t sectionTable, uint32_t sectionAlignment, uint32_t fileAlignment);

    static const uint32_t BlockSize = 0x2000;
    static const int BlockCount = 8;
    struct TBlock {
        uint64_t Offset = UINT64_MAX;
        uint32_t Size = 0;
        uint32_t Used = 0;  // last use, for replacement
        std::vector<uint8_t> Data;
    };

    FIByteSource &FFile;
    bool FIs64 = false;
    uint64_t FImageBase = 0;
    uint32_t FOptional = 0;  // RVA (= file offset) of the optional header
    // The image as it shows: runs that do not overlap, in RVA order, at most
    // two per part.
    std::vector<TPart> FRuns;
    std::vector<uint32_t> FRunBegins;  // each run's Begin, for the search
    mutable TBlock FBlocks[BlockCount];
    mutable uint32_t FClock = 0;
    // The runs that the last two lookups found, the latest first.
    mutable size_t FRecent[2] = {0, 0};
};
