// The bare read loop of our module reader over every file of a folder, both
// tables: time, and the reads it asks of the files (count and bytes), which
// are what a file costs where each read is a system call.
//   kalvex_readbench FOLDER [MASK]
#include "scan/filesource.h"
#include "scan/modulereader.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A file source that counts what it is asked for.
class TCountingSource : public FIByteSource {
public:
    explicit TCountingSource(FIByteSource &source) : FSource(source) {}
    uint64_t Size() const override { return FSource.Size(); }
    bool ReadAt(uint64_t offset, void *out, uint32_t n) override
    {
        ++Reads;
        Bytes += n;
        return FSource.ReadAt(offset, out, n);
    }
    uint64_t Reads = 0, Bytes = 0;

private:
    FIByteSource &FSource;
};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [MASK]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1], mask = argc > 2 ? argv[2] : "*.*";
    std::vector<TFolderEntry> entries;
    ListFolder(folder, mask, entries);
    std::vector<std::string> files;
    for (const TFolderEntry &e : entries)
        if (!e.Folder)
            files.push_back(JoinPath(folder, e.Name));
    for (int pass = 0; pass < 2; ++pass)  // the first one warms the file cache
        for (bool exportTable : {true, false}) {
            size_t entriesRead = 0, failed = 0;
            uint64_t reads = 0, bytes = 0;
            const double start = Now();
            for (const std::string &path : files) {
                TFileSource file;
                TNameList list;
                uint32_t code = file.Open(path);
                if (code == 0) {
                    TCountingSource counted(file);
                    code = ReadModuleNames(counted, exportTable, list);
                    reads += counted.Reads;
                    bytes += counted.Bytes;
                }
                code == 0 ? entriesRead += list.size() : ++failed;
            }
            const double seconds = Now() - start;
            if (pass == 1)
                std::printf("read %s: %zu files (%zu unreadable), %zu entries, %.4f s; %.2f reads, %.1f KiB a file\n",
                            exportTable ? "exports" : "imports", files.size(), failed, entriesRead, seconds,
                            double(reads) / files.size(), double(bytes) / files.size() / 1024);
        }
    return 0;
}
