#include "framework/inifile.h"

#include <windows.h>

#include <algorithm>

namespace {

// Owns a file handle for one function's span.
class TFileHandle {
public:
    explicit TFileHandle(HANDLE h) : FHandle(h) {}
    ~TFileHandle() { Close(); }
    TFileHandle(const TFileHandle &) = delete;
    TFileHandle &operator=(const TFileHandle &) = delete;
    bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return FHandle; }
    bool Close()
    {
        if (!Valid())
            return true;
        const BOOL ok = CloseHandle(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
        return ok != FALSE;
    }

private:
    HANDLE FHandle;
};

bool SameText(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && AnsiUpperCase(a) == AnsiUpperCase(b);
}

// The file's bytes in text; false when it exists but cannot be read.
bool ReadWholeFile(const std::string &fileName, std::string &text)
{
    text.clear();
    TFileHandle file(CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
            text.clear();
            return false;
        }
        if (got == 0)
            return true;
        text.append(buffer, got);
    }
}

bool WriteWholeFile(HANDLE file, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        DWORD wrote = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
        if (!WriteFile(file, text.data() + done, chunk, &wrote, nullptr) || wrote == 0)
            return false;
        done += wrote;
    }
    return FlushFileBuffers(file) != FALSE;
}

}  // namespace

TMemIniFile::TMemIniFile(const std::string &fileName) : FFileName(fileName)
{
    std::string text;
    FLoaded = ReadWholeFile(fileName, text);
    SetText(text);
}

void TMemIniFile::SetText(const std::string &text)
{
    FSections.clear();
    TSection *current = nullptr;
    size_t i = 0;
    while (i < text.size()) {
        // Lines end with CR LF, CR or LF.
        const size_t end = text.find_first_of("\r\n", i);
        const std::string line = Trim(text.substr(i, end == std::string::npos ? std::string::npos : end - i));
        i = end == std::string::npos ? text.size()
            : end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);

        if (line.empty() || line[0] == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            FSections.push_back({Trim(line.substr(1, line.size() - 2)), {}});
            current = &FSections.back();
        } else if (current) {
            const size_t eq = line.find('=');
            current->Lines.push_back(eq == std::string::npos
                                         ? line
                                         : Trim(line.substr(0, eq)) + "=" + Trim(line.substr(eq + 1)));
        }
    }
}

int TMemIniFile::FindSection(const std::string &name) const
{
    for (size_t i = 0; i < FSections.size(); ++i)
        if (SameText(FSections[i].Name, name))
            return static_cast<int>(i);
    return -1;
}

int TMemIniFile::FindKey(const TSection &section, const std::string &key)
{
    for (size_t i = 0; i < section.Lines.size(); ++i) {
        const std::string &line = section.Lines[i];
        const size_t eq = line.find('=');
        if (eq != std::string::npos && SameText(line.substr(0, eq), key))
            return static_cast<int>(i);
    }
    return -1;
}

std::string TMemIniFile::ReadString(const std::string &section, const std::string &key,
                                    const std::string &def) const
{
    const int s = FindSection(section);
    const int k = s >= 0 ? FindKey(FSections[s], key) : -1;
    if (k < 0)
        return def;
    const std::string &line = FSections[s].Lines[k];
    return line.substr(line.find('=') + 1);
}

int TMemIniFile::ReadInteger(const std::string &section, const std::string &key, int def) const
{
    return StrToIntDef(ReadString(section, key, ""), def);
}

bool TMemIniFile::ReadBool(const std::string &section, const std::string &key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TMemIniFile::WriteString(const std::string &section, const std::string &key,
                              const std::string &value)
{
    int s = FindSection(section);
    if (s < 0) {
        FSections.push_back({section, {}});
        s = static_cast<int>(FSections.size()) - 1;
    }
    TStringList &lines = FSections[s].Lines;
    // The file holds one line per key: a line break would end the value and
    // let the rest pose as lines of its own, so the value ends before it.
    const std::string line = key + "=" + value.substr(0, value.find_first_of("\r\n"));
    const int k = FindKey(FSections[s], key);
    if (k >= 0)
        lines[k] = line;
    else
        lines.push_back(line);
}

void TMemIniFile::WriteInteger(const std::string &section, const std::string &key, int value)
{
    WriteString(section, key, std::to_string(value));
}

void TMemIniFile::WriteBool(const std::string &section, const std::string &key, bool value)
{
    WriteString(section, key, value ? "1" : "0");
}

std::string TMemIniFile::Text() const
{
    std::string text;
    for (const TSection &s : FSections) {
        text += "[" + s.Name + "]\r\n";
        for (const std::string &line : s.Lines)
            text += line + "\r\n";
        text += "\r\n";
    }
    return text;
}

bool TMemIniFile::UpdateFile() const
{
    if (!FLoaded)
        return false;
    // The temporary file lies in the same folder, so the move is a rename on
    // one volume: the file is replaced whole or not at all.
    const std::string temp = FFileName + ".tmp";
    TFileHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return false;
    const bool written = WriteWholeFile(file.Get(), Text());
    if (!file.Close() || !written ||
        !MoveFileExA(temp.c_str(), FFileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        return false;
    }
    return true;
}

std::string ApplicationIniFileName()
{
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return ChangeFileExt(path, ".ini");
}
