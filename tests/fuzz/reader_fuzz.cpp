// libFuzzer target: any bytes as a module file, both tables. A crash, a
// sanitizer report or a code other than the reader's own is a finding.
#include "scan/modulereader.h"
#include "scan/peimage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (bool exportTable : {true, false}) {
        TMemorySource source(data, size);
        TNameList list;
        const uint32_t code = ReadModuleNames(source, exportTable, list);
        if (code != 0 && code != CodeBadExeFormat && code != CodeWalkFault)
            std::abort();
    }
    return 0;
}
