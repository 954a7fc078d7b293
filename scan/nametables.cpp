#include "scan/nametables.h"

#include <algorithm>

namespace {

// Field offsets of IMAGE_EXPORT_DIRECTORY and IMAGE_IMPORT_DESCRIPTOR.
const uint32_t ExportBase = 16;
const uint32_t ExportNumberOfFunctions = 20;
const uint32_t ExportNumberOfNames = 24;
const uint32_t ExportAddressOfFunctions = 28;
const uint32_t ExportAddressOfNames = 32;
const uint32_t ExportAddressOfNameOrdinals = 36;
const uint32_t ImportOriginalFirstThunk = 0;
const uint32_t ImportName = 12;
const uint32_t ImportDescriptorSize = 20;
// Field offsets of a delay-load descriptor (IMAGE_DELAYLOAD_DESCRIPTOR).
const uint32_t DelayAttributes = 0;
const uint32_t DelayDllName = 4;
const uint32_t DelayNameTable = 16;
const uint32_t DelayDescriptorSize = 32;
const uint32_t DelayRvaBased = 1;  // attributes: the fields are RVAs, not VAs
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
    // Looks no further for the zero byte than the budget (or maxLength) reaches.
    bool ReadString(uint32_t rva, std::string &text, uint64_t maxLength = UINT64_MAX)
    {
        const uint64_t left = Left();
        return left > 0 && FImage.ReadString(rva, text, std::min(left - 1, maxLength)) && Charge(text.size() + 1);
    }
    // Memory the walk holds besides the list.
    bool Hold(uint64_t bytes) { return Charge(bytes); }

    bool Add(std::string &&text, uint32_t number, uint32_t nameSize, uint8_t flags = 0)
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
        FList.push_back(TNameEntry{std::move(text), number, nameSize, flags});
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

// The thunk of slot t of a lookup table: its RVA, then its value.
bool ReadThunk(TBudgetedWalk &walk, uint32_t table, uint32_t t, bool thunks64, uint64_t &thunk)
{
    uint32_t slot;
    if (!FIImage::ElementRva(table, t, thunks64 ? 8 : 4, slot))
        return false;
    if (thunks64)
        return walk.ReadU64(slot, thunk);
    uint32_t thunk32;
    if (!walk.ReadU32(slot, thunk32))
        return false;
    thunk = thunk32;
    return true;
}

// Turns an address of an old-style delay-load descriptor into an RVA.
using TToRva = bool (*)(uint64_t value, uint64_t imageBase, uint32_t &rva);
bool RvaAsIs(uint64_t value, uint64_t, uint32_t &rva)
{
    rva = static_cast<uint32_t>(value);
    return value <= UINT32_MAX;
}
bool VaLessBase(uint64_t value, uint64_t imageBase, uint32_t &rva)
{
    return value >= imageBase && RvaAsIs(value - imageBase, 0, rva);
}

// The entries of one lookup table (import or delay-load name table), each
// the function part, a CR and module.
bool ListThunks(TBudgetedWalk &walk, uint32_t table, const std::string &module, const TImportTables &tables,
                TToRva toRva, uint8_t flags)
{
    std::string part;  // the function part of an entry
    for (uint32_t t = 0;; ++t) {
        uint64_t thunk;
        if (!ReadThunk(walk, table, t, tables.Thunks64, thunk))
            return false;
        if (thunk == 0)
            return true;
        uint32_t number = 0;
        if (thunk & (tables.Thunks64 ? OrdinalFlag64 : OrdinalFlag32)) {
            part.assign(1, '%');
            part += std::to_string(thunk & 0xFFFF);
        } else {
            // The address of the hint and name; a 64-bit one beyond 32 bits
            // leads nowhere.
            uint16_t hint;
            uint32_t record;
            if (!toRva(thunk, tables.ImageBase, record) || !walk.ReadU16(record, hint) || record > UINT32_MAX - 2 ||
                !walk.ReadString(record + 2, part))
                return false;
            number = hint;
        }
        std::string text;
        text.reserve(part.size() + 1 + module.size());
        text.append(part).append(1, NameSeparator).append(module);
        if (!walk.Add(std::move(text), number, static_cast<uint32_t>(part.size()), flags))
            return false;
    }
}

uint32_t ImportNames(TBudgetedWalk &walk, const TImportTables &tables)
{
    // Descriptors naming the module at the same RVA as the one before share
    // its name: read once, not once per descriptor.
    std::string module;
    uint32_t moduleRva = 0;
    bool haveModule = false;
    for (uint32_t d = 0;; ++d) {
        uint32_t desc, last, lookup, nameRva;
        if (!FIImage::ElementRva(tables.Imports, d, ImportDescriptorSize, desc) ||
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
        if (!ListThunks(walk, lookup, module, tables, RvaAsIs, 0))
            return CodeWalkFault;
    }
}

// The delay-load descriptors end at one without a module name. The fields
// of an old-style one (attributes bit 0 clear) are virtual addresses, and so
// are the hint-and-name addresses of its name table; one below the image
// base leads nowhere.
uint32_t DelayLoadNames(TBudgetedWalk &walk, const TImportTables &tables)
{
    std::string module;
    for (uint32_t d = 0;; ++d) {
        uint32_t desc, last, attributes, nameField, tableField, nameRva, table;
        if (!FIImage::ElementRva(tables.DelayLoad, d, DelayDescriptorSize, desc) ||
            !FIImage::ElementRva(desc, 1, DelayNameTable, last) ||
            !walk.ReadU32(desc + DelayAttributes, attributes) || !walk.ReadU32(desc + DelayDllName, nameField))
            return CodeWalkFault;
        if (nameField == 0)
            return 0;
        const TToRva toRva = attributes & DelayRvaBased ? RvaAsIs : VaLessBase;
        if (!walk.ReadU32(desc + DelayNameTable, tableField) || !toRva(nameField, tables.ImageBase, nameRva) ||
            !toRva(tableField, tables.ImageBase, table) || table == 0 || !walk.ReadString(nameRva, module) ||
            !ListThunks(walk, table, module, tables, toRva, NameDelayLoaded))
            return CodeWalkFault;
    }
}

// The export's forwarder target when its address lies inside the directory:
// the text must end there too. False for a text that does not.
bool ReadForwarder(TBudgetedWalk &walk, TDirectory dir, uint32_t address, std::string &target, bool &forwarded)
{
    const uint64_t end = uint64_t(dir.Rva) + dir.Size;
    forwarded = address >= dir.Rva && address < end;
    return !forwarded || walk.ReadString(address, target, end - address - 1);
}

uint32_t ExportNames(TBudgetedWalk &walk, TDirectory dir, uint32_t *base)
{
    uint32_t ordinalBase, functions, count, addresses, names, ordinals, last;
    // The field offsets are added below; make sure no sum wraps.
    if (!FIImage::ElementRva(dir.Rva, 1, ExportAddressOfNameOrdinals, last) ||
        !walk.ReadU32(dir.Rva + ExportBase, ordinalBase) ||
        !walk.ReadU32(dir.Rva + ExportNumberOfFunctions, functions) ||
        !walk.ReadU32(dir.Rva + ExportNumberOfNames, count) ||
        !walk.ReadU32(dir.Rva + ExportAddressOfFunctions, addresses) ||
        !walk.ReadU32(dir.Rva + ExportAddressOfNames, names) ||
        !walk.ReadU32(dir.Rva + ExportAddressOfNameOrdinals, ordinals))
        return CodeWalkFault;
    if (base)
        *base = ordinalBase;
    std::string target;
    auto address = [&](uint32_t index, uint32_t &value) {
        uint32_t slot;
        return FIImage::ElementRva(addresses, index, 4, slot) && walk.ReadU32(slot, value);
    };
    // The named exports. An ordinal beyond the address table names no code:
    // the name is listed all the same, as no forwarder.
    std::vector<bool> named;
    if (!walk.Hold(functions / 8))
        return CodeWalkFault;
    named.resize(functions);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t nameSlot, ordinalSlot, nameRva, function = 0;
        uint16_t ordinal;
        bool forwarded = false;
        std::string text;
        if (!FIImage::ElementRva(names, i, 4, nameSlot) || !walk.ReadU32(nameSlot, nameRva) ||
            !walk.ReadString(nameRva, text) || !FIImage::ElementRva(ordinals, i, 2, ordinalSlot) ||
            !walk.ReadU16(ordinalSlot, ordinal) ||
            (ordinal < functions && (!address(ordinal, function) || !ReadForwarder(walk, dir, function, target, forwarded))))
            return CodeWalkFault;
        if (ordinal < functions)
            named[ordinal] = true;
        const uint32_t nameSize = static_cast<uint32_t>(text.size());
        if (forwarded)
            text.append(1, NameSeparator).append(target);
        if (!walk.Add(std::move(text), ordinal, nameSize, forwarded ? NameForwarded : 0))
            return CodeWalkFault;
    }
    // The slots no name points to: "%" and the ordinal proper.
    for (uint32_t i = 0; i < functions; ++i) {
        uint32_t function;
        bool forwarded;
        if (named[i])
            continue;
        if (!address(i, function) || !ReadForwarder(walk, dir, function, target, forwarded))
            return CodeWalkFault;
        if (function == 0)
            continue;
        // Appended: GCC 12 warns falsely about "%" + std::to_string() here.
        std::string text(1, '%');
        text += std::to_string(uint64_t(ordinalBase) + i);
        const uint32_t nameSize = static_cast<uint32_t>(text.size());
        if (forwarded)
            text.append(1, NameSeparator).append(target);
        if (!walk.Add(std::move(text), i, nameSize, NameUnnamed | (forwarded ? NameForwarded : 0)))
            return CodeWalkFault;
    }
    return 0;
}

}  // namespace

uint64_t NameTextHeapBytes(const std::string &text)
{
    static const size_t inlineCapacity = std::string().capacity();
    return text.capacity() > inlineCapacity ? text.capacity() + 1 + HeapBlockOverhead : 0;
}

uint32_t WalkExportNames(const FIImage &image, TDirectory dir, TNameList &list, const TStopCheck &stopped,
                         uint32_t *base)
{
    TBudgetedWalk walk(image, list, stopped);
    return walk.Result(ExportNames(walk, dir, base));
}

uint32_t WalkImportTables(const FIImage &image, const TImportTables &tables, TNameList &list,
                          const TStopCheck &stopped)
{
    TBudgetedWalk walk(image, list, stopped);
    uint32_t code = tables.Imports != 0 ? ImportNames(walk, tables) : 0;
    if (code == 0 && tables.DelayLoad != 0)
        code = DelayLoadNames(walk, tables);
    return walk.Result(code);
}

uint32_t WalkImportNames(const FIImage &image, uint32_t dirRva, TNameList &list, bool thunks64,
                         const TStopCheck &stopped)
{
    TImportTables tables;
    tables.Imports = dirRva;
    tables.Thunks64 = thunks64;
    return WalkImportTables(image, tables, list, stopped);
}
