#include "scan/errorstring.h"

char *WINAPI GetErrorString(DWORD code)
{
    // No arguments are passed, so inserts must not be expanded: formatting
    // "%1" would read an argument that does not exist.
    char *text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                   reinterpret_cast<char *>(&text), 0, nullptr);
    if (n == 0) {
        if (text)
            LocalFree(text);
        return nullptr;
    }
    return text;
}

char *WINAPI GetLastErrorString()
{
    return GetErrorString(GetLastError());
}

std::string ErrorText(DWORD code)
{
    char *system = GetErrorString(code);
    std::string text = system ? system : "";
    if (system)
        LocalFree(system);
    text.erase(text.find_last_not_of(" \t\r\n") + 1);
    return text;
}
