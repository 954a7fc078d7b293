#include "scan/modulereader.h"

#include "scan/peimage.h"

namespace {

uint32_t ReadNames(FIByteSource &source, bool exportTable, TNameList &list, const TStopCheck &stopped,
                   uint32_t *exportBase)
{
    TPeImage image(source);
    uint32_t code = image.Open();
    if (code != 0)
        return code;
    uint32_t rva;
    bool fault = false;
    if (!image.Directory(exportTable ? 0 : 1, rva, fault))
        return fault ? CodeWalkFault : 0;
    list.clear();
    try {
        code = exportTable ? WalkExportNames(image, rva, list, stopped, exportBase)
                           : WalkImportNames(image, rva, list, image.Is64(), stopped);
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
