// Bounds-checked, read-only access to a module image by RVA.
//
// Every read of module data goes through FIImage: a read succeeds only when
// all of its bytes lie in a mapped part of the image, so hostile tables end in
// a failed read, never in a read outside the image. Plain C++, so the walks
// over it build natively and can be fuzzed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class FIImage {
public:
    // Copies n bytes at rva into out; false when any of them is not mapped.
    virtual bool Read(uint32_t rva, void *out, uint32_t n) const = 0;
    // Reads the zero-terminated text at rva; fails when no zero byte follows
    // inside the mapped bytes or within maxLength bytes of text.
    virtual bool ReadString(uint32_t rva, std::string &text, uint64_t maxLength = UINT64_MAX) const = 0;

    bool ReadU16(uint32_t rva, uint16_t &value) const { return Read(rva, &value, sizeof value); }
    bool ReadU32(uint32_t rva, uint32_t &value) const { return Read(rva, &value, sizeof value); }
    bool ReadU64(uint32_t rva, uint64_t &value) const { return Read(rva, &value, sizeof value); }
    // RVA of element index of an array of elementSize-byte items at array;
    // fails when it would not be a 32-bit value.
    static bool ElementRva(uint32_t array, uint32_t index, uint32_t elementSize, uint32_t &rva);

protected:
    ~FIImage() = default;
};

// A data directory: where it starts and its size in bytes.
// An RVA alone stands for a directory of size 0.
struct TDirectory {
    TDirectory(uint32_t rva = 0, uint32_t size = 0) : Rva(rva), Size(size) {}
    uint32_t Rva;  // 0: absent
    uint32_t Size;
};

struct TByteRange {
    uint32_t Begin;  // RVA of the first byte
    uint32_t End;    // RVA one past the last byte
};

// An image already laid out in memory: base points at RVA 0.
class TImageView : public FIImage {
public:
    // size is the image size; readable lists the ranges that may be read
    // (any order, overlapping allowed; clipped to size).
    TImageView(const uint8_t *base, uint32_t size, std::vector<TByteRange> readable);

    uint32_t Size() const { return FSize; }
    bool Read(uint32_t rva, void *out, uint32_t n) const override;
    bool ReadString(uint32_t rva, std::string &text, uint64_t maxLength = UINT64_MAX) const override;

private:
    // Bytes readable from rva onward within one range (0 if rva is not readable).
    uint32_t Readable(uint32_t rva) const;

    const uint8_t *FBase;
    uint32_t FSize;
    std::vector<TByteRange> FRanges;  // sorted, merged, non-empty
};
