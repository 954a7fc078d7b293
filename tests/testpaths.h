// Where the test executables and the fixture modules are.
#pragma once

#include <windows.h>

#include <string>

// The folder of the running test executable, ending in "\".
inline std::string TestDir()
{
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

// A fresh, empty folder under the system's temporary folder, ending in "\".
inline std::string NewTempDir(const std::string &name)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "kalvex-test-" + std::to_string(GetCurrentProcessId()) + "-" + name;
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir + "\\";
}
