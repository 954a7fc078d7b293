// Every input the fuzzer ever kept (seeds and past findings) read again
// under the sanitizers: each ends in one of the reader's own codes.
#include "scan/modulereader.h"
#include "scan/peimage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

TEST(FuzzCorpus, EveryKeptInputEndsInAReaderCode)
{
    int inputs = 0;
    for (const auto &entry : std::filesystem::directory_iterator(KALVEX_FUZZ_CORPUS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (bool exportTable : {true, false}) {
            TMemorySource source(bytes);
            TNameList list;
            const uint32_t code = ReadModuleNames(source, exportTable, list);
            EXPECT_TRUE(code == 0 || code == CodeBadExeFormat || code == CodeWalkFault)
                << entry.path() << " " << code;
        }
        ++inputs;
    }
    EXPECT_GT(inputs, 0) << "no corpus in " << KALVEX_FUZZ_CORPUS;
}
