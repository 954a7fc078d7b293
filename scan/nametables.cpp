#include "scan/nametables.h"

#include <algorithm>

namespace {

// Field offsets of IMAGE_EXPORT_DIRECTORY and IMAGE_IMPORT_DESCRIPTOR.
const uint32_t ExportBase = 16;
const uint32_t ExportNumberOfNames = 24;
const uint32_t ExportAddressOfNames = 32;
const uint32_t ExportAddressOfNameOrdinals = 36;
const uint32_t ImportOriginalFirstThunk = 0;
const uint32_t ImportName = 12;
const uint32_t ImportDescriptorSize = 20;
const uint32_t OrdinalFlag32 = 0x80000000u;
const uint64_t OrdinalFlag64 = 0x8000000000000000u;
// What the heap adds to each block it hands out, at most (header and rounding).
const uint64_t HeapBlockOverhead = 16;
// Reads between two looks at the stop request: a few microseconds of work.
const uint32_t ReadsPerStopCheck = 4096;

// One walk: its reads of the image and the list it fills, both counted
// against NameWalkByteLimit. A read or an entry that would pass the limit
// fails, which ends the walk as a fault; so does a read after a stop request.
class TBudgetedWalk {
public:
    TBudgetedWalk(const FIImage &image, TNameList &list, const TStopCheck &stopped)
        : FImage(image), FList(list), FStopCheck(stopped), FUsed(uint64_t(list.capacity()) * sizeof(TNameEntry))
    {
    }

    // The walk's code: a fault ended by a stop request reads as stopped.
    uint32_t Result(uint32_t code) const { return code != 0 && FStopped ? CodeWalkStopped : code; }

    bool ReadU16(uint32_t rva, uint16_t &value) { return Charge(sizeof value) && FImage.ReadU16(rva, value); }
    bool ReadU32(uint32_t rva, uint32_t &value) { return Charge(sizeof value) && FImage.ReadU32(rva, value); }
    bool ReadU64(uint32_t rva, uint64_t &value) { return Charge(sizeof value) && FImage.ReadU64(rva, value); }
    // Looks no further for the zero byte than the budget reaches.
    bool ReadString(uint32_t rva, std::string &text)
    {
        const uint64_t left = Left();
        return left > 0 && FImage.ReadString(rva, text, left - 1) && Charge(text.size() + 1);
    }

    bool Add(std::string &&text, uint32_t number)
    {
        const uint64_t textBytes = NameTextHeapBytes(text);
        if (FList.size() == FList.capacity()) {
            // Doubled by us, so that the growth is counted: the old buffer
            // lives on until the entries have moved to the new one.
            const size_t grown = std::max<size_t>(16, FList.capacity() * 2);
            const uint64_t oldBytes = uint64_t(FList.capacity()) * sizeof(TNameEntry);
            const uint64_t newBytes = uint64_t(grown) * sizeof(TNameEntry);
            if (!Fits(newBytes + textBytes))
                return false;
            FList.reserve(grown);
            FUsed += newBytes - oldBytes;
        }
        if (!Charge(textBytes))
            return false;
        FList.push_back(TNameEntry{std::move(text), number});
        return true;
    }

private:
    // A list handed in with more capacity than the limit leaves nothing.
    uint64_t Left() const { return FUsed < NameWalkByteLimit ? NameWalkByteLimit - FUsed : 0; }
    bool Fits(uint64_t bytes) const { return bytes <= Left(); }
    bool Charge(uint64_t bytes)
    {
        if (!Fits(bytes) || Stopped())
            return false;
        FUsed += bytes;
        return true;
    }
    bool Stopped()
    {
        if (FStopCheck && ++FReads % ReadsPerStopCheck == 0 && FStopCheck())
            FStopped = true;
        return FStopped;
    }

    const FIImage &FImage;
    TNameList &FList;
    const TStopCheck &FStopCheck;
    uint64_t FUsed;  // bytes read plus bytes held
    uint32_t FReads = 0;
    bool FStopped = false;
};

uint32_t ExportNames(TBudgetedWalk &walk, uint32_t dirRva, uint32_t *base);
uint32_t ImportNames(TBudgetedWalk &walk, uint32_t dirRva, bool thunks64);

}  // namespace

uint64_t NameTextHeapBytes(const std::string &text)
{
    static const size_t inlineCapacity = std::string().capacity();
    return text.capacity() > inlineCapacity ? text.capacity() + 1 + HeapBlockOverhead : 0;
}

uint32_t WalkExportNames(const FIImage &image, uint32_t dirRva, TNameList &list, const TStopCheck &stopped,
                         uint32_t *base)
{
    TBudgetedWalk walk(image, list, stopped);
    return walk.Result(ExportNames(walk, dirRva, base));
}

uint32_t WalkImportNames(const FIImage &image, uint32_t dirRva, TNameList &list, bool thunks64,
                         const TStopCheck &stopped)
{
    TBudgetedWalk walk(image, list, stopped);
    return walk.Result(ImportNames(walk, dirRva, thunks64));
}

namespace {

uint32_t ExportNames(TBudgetedWalk &walk, uint32_t dirRva, uint32_t *base)
{
    uint32_t count, names, ordinals, last;
    // The field offsets are added below; make sure no sum wraps.
    if (!FIImage::ElementRva(dirRva, 1, ExportAddressOfNameOrdinals, last) ||
        (base && !walk.ReadU32(dirRva + ExportBase, *base)) ||
        !walk.ReadU32(dirRva + ExportNumberOfNames, count) ||
        !walk.ReadU32(dirRva + ExportAddressOfNames, names) ||
        !walk.ReadU32(dirRva + ExportAddressOfNameOrdinals, ordinals))
        return CodeWalkFault;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t nameSlot, ordinalSlot, nameRva;
        uint16_t ordinal;
        std::string text;
        if (!FIImage::ElementRva(names, i, 4, nameSlot) || !walk.ReadU32(nameSlot, nameRva) ||
            !walk.ReadString(nameRva, text) || !FIImage::ElementRva(ordinals, i, 2, ordinalSlot) ||
            !walk.ReadU16(ordinalSlot, ordinal) || !walk.Add(std::move(text), ordinal))
            return CodeWalkFault;
    }
    return 0;
}

uint32_t ImportNames(TBudgetedWalk &walk, uint32_t dirRva, bool thunks64)
{
    // Descriptors naming the module at the same RVA as the one before share
    // its name: read once, not once per descriptor.
    std::string module;
    uint32_t moduleRva = 0;
    bool haveModule = false;
    std::string part;  // the function part of an entry
    for (uint32_t d = 0;; ++d) {
        uint32_t desc, last, lookup, nameRva;
        if (!FIImage::ElementRva(dirRva, d, ImportDescriptorSize, desc) ||
            !FIImage::ElementRva(desc, 1, ImportName, last) ||
            !walk.ReadU32(desc + ImportOriginalFirstThunk, lookup))
            return CodeWalkFault;
        if (lookup == 0)
            return 0;
        if (!walk.ReadU32(desc + ImportName, nameRva))
            return CodeWalkFault;
        if (!haveModule || nameRva != moduleRva) {
            if (!walk.ReadString(nameRva, module))
                return CodeWalkFault;
            moduleRva = nameRva;
            haveModule = true;
        }
        const uint32_t thunkSize = thunks64 ? 8 : 4;
        for (uint32_t t = 0;; ++t) {
            uint32_t slot;
            uint64_t thunk;
            if (!FIImage::ElementRva(lookup, t, thunkSize, slot))
                return CodeWalkFault;
            if (thunks64) {
                if (!walk.ReadU64(slot, thunk))
                    return CodeWalkFault;
            } else {
                uint32_t thunk32;
                if (!walk.ReadU32(slot, thunk32))
                    return CodeWalkFault;
                thunk = thunk32;
            }
            if (thunk == 0)
                break;
            uint32_t number = 0;
            if (thunk & (thunks64 ? OrdinalFlag64 : OrdinalFlag32)) {
                part.assign(1, '%');
                part += std::to_string(thunk & 0xFFFF);
            } else {
                // The RVA of the hint and name; a 64-bit one beyond 32 bits
                // leads nowhere.
                uint16_t hint;
                const uint32_t record = static_cast<uint32_t>(thunk);
                if (thunk > UINT32_MAX || !walk.ReadU16(record, hint) || record > UINT32_MAX - 2 ||
                    !walk.ReadString(record + 2, part))
                    return CodeWalkFault;
                number = hint;
            }
            std::string text;
            text.reserve(part.size() + 1 + module.size());
            text.append(part).append(1, NameSeparator).append(module);
            if (!walk.Add(std::move(text), number))
                return CodeWalkFault;
        }
    }
}

}  // namespace
