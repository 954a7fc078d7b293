#include "scan/nametables.h"

namespace {

// Field offsets of IMAGE_EXPORT_DIRECTORY and IMAGE_IMPORT_DESCRIPTOR.
const uint32_t ExportNumberOfNames = 24;
const uint32_t ExportAddressOfNames = 32;
const uint32_t ExportAddressOfNameOrdinals = 36;
const uint32_t ImportOriginalFirstThunk = 0;
const uint32_t ImportName = 12;
const uint32_t ImportDescriptorSize = 20;
const uint32_t OrdinalFlag = 0x80000000u;

// Appends an entry unless the list would outgrow NameListByteLimit.
class TAppender {
public:
    explicit TAppender(TNameList &list) : FList(list) {}
    bool Add(std::string &&text, uint32_t number)
    {
        FBytes += text.size() + sizeof(TNameEntry);
        if (FBytes > NameListByteLimit)
            return false;
        FList.push_back(TNameEntry{std::move(text), number});
        return true;
    }

private:
    TNameList &FList;
    uint64_t FBytes = 0;
};

}  // namespace

uint32_t WalkExportNames(const TImageView &image, uint32_t dirRva, TNameList &list)
{
    uint32_t count, names, ordinals, last;
    // The field offsets are added below; make sure no sum wraps.
    if (!TImageView::ElementRva(dirRva, 1, ExportAddressOfNameOrdinals, last) ||
        !image.ReadU32(dirRva + ExportNumberOfNames, count) ||
        !image.ReadU32(dirRva + ExportAddressOfNames, names) ||
        !image.ReadU32(dirRva + ExportAddressOfNameOrdinals, ordinals))
        return CodeWalkFault;
    TAppender out(list);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t nameSlot, ordinalSlot, nameRva;
        uint16_t ordinal;
        std::string text;
        if (!TImageView::ElementRva(names, i, 4, nameSlot) || !image.ReadU32(nameSlot, nameRva) ||
            !image.ReadString(nameRva, text) || !TImageView::ElementRva(ordinals, i, 2, ordinalSlot) ||
            !image.ReadU16(ordinalSlot, ordinal) || !out.Add(std::move(text), ordinal))
            return CodeWalkFault;
    }
    return 0;
}

uint32_t WalkImportNames(const TImageView &image, uint32_t dirRva, TNameList &list)
{
    TAppender out(list);
    for (uint32_t d = 0;; ++d) {
        uint32_t desc, last, lookup, nameRva;
        std::string module;
        if (!TImageView::ElementRva(dirRva, d, ImportDescriptorSize, desc) ||
            !TImageView::ElementRva(desc, 1, ImportName, last) ||
            !image.ReadU32(desc + ImportOriginalFirstThunk, lookup))
            return CodeWalkFault;
        if (lookup == 0)
            return 0;
        if (!image.ReadU32(desc + ImportName, nameRva) || !image.ReadString(nameRva, module))
            return CodeWalkFault;
        for (uint32_t t = 0;; ++t) {
            uint32_t slot, thunk;
            if (!TImageView::ElementRva(lookup, t, 4, slot) || !image.ReadU32(slot, thunk))
                return CodeWalkFault;
            if (thunk == 0)
                break;
            std::string text;
            uint32_t number = 0;
            if (thunk & OrdinalFlag) {
                text = "%" + std::to_string(thunk & 0xFFFF);
            } else {
                uint16_t hint;
                if (!image.ReadU16(thunk, hint) || thunk > UINT32_MAX - 2 ||
                    !image.ReadString(thunk + 2, text))
                    return CodeWalkFault;
                number = hint;
            }
            text += NameSeparator;
            text += module;
            if (!out.Add(std::move(text), number))
                return CodeWalkFault;
        }
    }
}
