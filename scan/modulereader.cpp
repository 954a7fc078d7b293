#include "scan/modulereader.h"

#include "scan/peimage.h"

uint32_t ReadModuleNames(FIByteSource &source, bool exportTable, TNameList &list)
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
        code = exportTable ? WalkExportNames(image, rva, list)
                           : WalkImportNames(image, rva, list, image.Is64());
    } catch (...) {
        code = CodeWalkFault;  // exhausted memory while the list grew
    }
    return code;
}

uint32_t ReadFunctionNames(const std::string &path, bool exportTable, TNameList &list)
{
    TFileSource file;
    const uint32_t code = file.Open(path);
    return code != 0 ? code : ReadModuleNames(file, exportTable, list);
}
