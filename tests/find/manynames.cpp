// Writes a DLL whose export table lists one name many times: count name
// pointers that all lead to the same string, so a file of about 6 bytes a
// name gives a row per name. kalvex-find's benchmark measures its memory on
// copies of it.
//   kalvex_manynames FILE NAME COUNT
#include "tests/scan/imagebuilder.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: kalvex_manynames FILE NAME COUNT\n");
        return 2;
    }
    const std::string name = argv[2];
    const uint32_t count = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    const uint32_t dir = TPeBuilder::DataRva, names = dir + TPeBuilder::ExportDirectorySize,
                   ordinals = names + 4 * count, text = ordinals + 2 * count,
                   end = text + static_cast<uint32_t>(name.size()) + 1;
    TPeBuilder b((end - dir + 0xFFF) / 0x1000);
    b.Put32(dir + 16, 1);  // Base
    b.Put32(dir + TPeBuilder::NumberOfNamesAt, count);
    b.Put32(dir + 32, names);
    b.Put32(dir + 36, ordinals);
    for (uint32_t i = 0; i < count; ++i) {
        b.Put32(names + 4 * i, text);
        b.Put16(ordinals + 2 * i, static_cast<uint16_t>(i));
    }
    b.PutString(text, name);
    b.SetDirectory(0, dir, end - dir);
    return b.WriteTo(argv[1]) ? 0 : 1;
}
