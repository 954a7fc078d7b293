// Random-access reads of a module's bytes: from a file (a Win32 and a POSIX
// implementation of one small interface) or from memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class FIByteSource {
public:
    virtual ~FIByteSource() = default;
    // The size when the source was opened; reads may still fail below it
    // when a file shrinks meanwhile.
    virtual uint64_t Size() const = 0;
    // Copies exactly n bytes at offset into out; false on any shortfall.
    virtual bool ReadAt(uint64_t offset, void *out, uint32_t n) = 0;
};

class TMemorySource : public FIByteSource {
public:
    TMemorySource(const uint8_t *data, size_t size) : FData(data), FSize(size) {}
    explicit TMemorySource(const std::vector<uint8_t> &bytes) : TMemorySource(bytes.data(), bytes.size()) {}
    uint64_t Size() const override { return FSize; }
    bool ReadAt(uint64_t offset, void *out, uint32_t n) override;

private:
    const uint8_t *FData;
    size_t FSize;
};

// System error codes in Win32 numbering on every platform, so that error rows
// read alike wherever the core runs.
const uint32_t CodeFileNotFound = 2;
const uint32_t CodePathNotFound = 3;
const uint32_t CodeAccessDenied = 5;

// A file opened for reading while others may read, write, rename or delete it.
class TFileSource : public FIByteSource {
public:
    TFileSource() = default;
    ~TFileSource() override;
    TFileSource(const TFileSource &) = delete;
    TFileSource &operator=(const TFileSource &) = delete;

    // 0, or the system's code for the failed open (2 missing, 3 bad folder,
    // 5 denied or a folder, 32 in use, ...). A source that is no regular
    // file (a device, a pipe) gives 193.
    uint32_t Open(const std::string &path);
    uint64_t Size() const override { return FSize; }
    bool ReadAt(uint64_t offset, void *out, uint32_t n) override;

private:
    void Close();

    intptr_t FHandle = -1;  // a HANDLE or a file descriptor
    uint64_t FSize = 0;
};
