// A bounds-checked, read-only view of a module image in memory.
//
// Every read of module data goes through this view: an RVA is accepted only
// when all bytes of the read lie inside the image and inside one of its
// readable ranges, so hostile tables end in a failed read, never in a read
// outside the image. Plain C++ with no Win32, so the walks over it can be
// built natively and fuzzed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TByteRange {
    uint32_t Begin;  // RVA of the first byte
    uint32_t End;    // RVA one past the last byte
};

class TImageView {
public:
    // base points at RVA 0; size is the image size; readable lists the ranges
    // that may be read (any order, overlapping allowed; clipped to size).
    TImageView(const uint8_t *base, uint32_t size, std::vector<TByteRange> readable);

    uint32_t Size() const { return FSize; }
    bool ReadU16(uint32_t rva, uint16_t &value) const;
    bool ReadU32(uint32_t rva, uint32_t &value) const;
    // Reads the zero-terminated text at rva; fails when no zero byte follows
    // inside the readable range or within maxLength bytes of text.
    bool ReadString(uint32_t rva, std::string &text, uint64_t maxLength = UINT64_MAX) const;
    // RVA of element index of an array of elementSize-byte items at array;
    // fails when it would not be a 32-bit value.
    static bool ElementRva(uint32_t array, uint32_t index, uint32_t elementSize, uint32_t &rva);

private:
    // Bytes readable from rva onward within one range (0 if rva is not readable).
    uint32_t Readable(uint32_t rva) const;

    const uint8_t *FBase;
    uint32_t FSize;
    std::vector<TByteRange> FRanges;  // sorted, merged, non-empty
};

// The result code for an image that is not PE32: a PE32+ image, whose 64-bit
// thunks the walks would misread as 32-bit ones, or unreadable headers.
const uint32_t CodeBadExeFormat = 193;  // ERROR_BAD_EXE_FORMAT
// 0 when the optional header's magic is PE32 (0x10B), else CodeBadExeFormat.
uint32_t CheckPe32(const TImageView &image);
