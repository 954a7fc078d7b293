// Writes the fuzzer's seed corpus into the folder given: the image builder's
// PE32 and PE32+ images with exports and imports (forwarders, delay-loaded
// imports), and the import tables that are costly to walk.
#include "tests/scan/imagebuilder.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    int written = 0;
    for (bool pe32plus : {false, true}) {
        TPeBuilder b(2, 0x30000000, pe32plus);
        const uint32_t end = b.PutExports(TPeBuilder::DataRva, {"Alpha", "Beta", "Gamma"}, {0, 1, 2});
        b.PutImports(end + 8, {{"K.dll", {"F", "G"}, {17}}, {"W.dll", {"H"}, {3}}});
        written += b.WriteTo(dir + (pe32plus ? "seed-pe32plus" : "seed-pe32"));
        TPeBuilder low = b;
        low.Put32(TPeBuilder::SectionAlignmentAt, 0x200);
        low.Put32(TPeBuilder::FileAlignmentAt, 0x200);
        written += low.WriteTo(dir + (pe32plus ? "seed-low-pe32plus" : "seed-low-pe32"));
    }
    // Forwarded and unnamed exports; delay-loaded imports, old-style in the
    // PE32 image.
    for (bool pe32plus : {false, true}) {
        TPeBuilder b(2, 0x400000, pe32plus);
        const uint32_t end = b.PutExports(TPeBuilder::DataRva, {"Alpha", "Beta"}, {1, 0},
                                          {{0x800}, {0, "K.F"}, {0}, {0, "K.#3"}, {0x900}});
        const uint32_t delay = b.PutImports(end + 8, {{"K.dll", {"F"}, {17}}}) + 8;
        b.PutDelayImports(delay, {{"D.dll", {"G", "H"}, {5}}, {"E.dll", {}, {7}}}, !pe32plus);
        written += b.WriteTo(dir + (pe32plus ? "seed-delay-pe32plus" : "seed-delay-pe32"));
    }
    written += SharedNameImports(0x4000).WriteTo(dir + "seed-shared-name");
    written += OrdinalFloodImports(20, 40).WriteTo(dir + "seed-ordinal-flood");
    std::printf("%d seeds in %s\n", written, argv[1]);
    return written == 8 ? 0 : 1;
}
