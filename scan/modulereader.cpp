#include "scan/modulereader.h"

#include "scan/peimage.h"

namespace {

const uint32_t DirectoryExports = 0, DirectoryImports = 1, DirectoryDelayLoad = 13;

uint32_t ReadNames(FIByteSource &source, bool exportTable, TNameList &list, const TStopCheck &stopped,
                   uint32_t *exportBase)
{
    TPeImage image(source);
    uint32_t code = image.Open();
    if (code != 0)
        return code;
    TDirectory exports, imports, delayLoad;
    bool fault = false, delayFault = false;
    const bool found = exportTable ? image.Directory(DirectoryExports, exports, fault)
                                   : image.Directory(DirectoryImports, imports, fault) |
                                         image.Directory(DirectoryDelayLoad, delayLoad, delayFault);
    if (fault || delayFault)
        return CodeWalkFault;
    if (!found)
        return 0;
    list.clear();
    try {
        if (exportTable) {
            code = WalkExportNames(image, exports, list, stopped, exportBase);
        } else {
            TImportTables tables;
            tables.Imports = imports.Rva;
            tables.DelayLoad = delayLoad.Rva;
            tables.Thunks64 = image.Is64();
            tables.ImageBase = image.ImageBase();
            code = WalkImportTables(image, tables, list, stopped);
        }
    } catch (...) {
        code = CodeWalkFault;  // exhausted memory while the list grew
    }
    return code;
}

}  // namespace

uint32_t ReadModuleNames(FIByteSource &source, bool exportTable, TNameList &list, const TStopCheck &stopped,
                         uint32_t *exportBase)
{
    const uint32_t code = ReadNames(source, exportTable, list, stopped, exportBase);
    // A read the file could not give looks like a truncated image or a bad
    // RVA to the reader: the system's code says what happened.
    return code == CodeBadExeFormat || code == CodeWalkFault ? (source.ReadError() ? source.ReadError() : code)
                                                             : code;
}

uint32_t ReadFunctionNames(const std::string &path, bool exportTable, TNameList &list, const TStopCheck &stopped,
                           uint32_t *exportBase)
{
    TFileSource file;
    const uint32_t code = file.Open(path);
    return code != 0 ? code : ReadModuleNames(file, exportTable, list, stopped, exportBase);
}
