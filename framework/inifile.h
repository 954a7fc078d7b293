// TMemIniFile: an ini file held in memory, read whole at construction and
// written whole by UpdateFile.
//
// Reading keeps only what lies inside sections: a line "[name]" (after
// trimming) starts a section; every other non-blank line that does not begin
// with ";" belongs to the section above it and is kept trimmed, a line with
// "=" as "key=value" with the blanks around key and value removed. Blank
// lines, comments and lines before the first section are dropped, so they
// are gone from the file after UpdateFile. A line without "=" is kept and
// written back, but it is no key: no lookup finds it. Section and key names
// are matched without regard to case (the system's ANSI upper-casing); when a
// name occurs twice, the first one counts.
#pragma once

#include "framework/textutil.h"

#include <string>
#include <vector>

class TMemIniFile {
public:
    // Reads fileName whole; a missing file reads as an empty one.
    explicit TMemIniFile(const std::string &fileName);

    const std::string &FileName() const { return FFileName; }
    // False when the file exists but could not be read: the store then
    // starts empty and UpdateFile refuses to replace the unread content.
    bool Loaded() const { return FLoaded; }

    // The key's value, or def when the section or key is missing. A key
    // followed by "=" and nothing else has the value "".
    std::string ReadString(const std::string &section, const std::string &key,
                           const std::string &def) const;
    // The value as an integer (StrToInt's forms), or def when it is missing
    // or is not an integer.
    int ReadInteger(const std::string &section, const std::string &key, int def) const;
    // True for any integer other than 0; def when missing or not an integer.
    bool ReadBool(const std::string &section, const std::string &key, bool def) const;

    // Sets the key's line to "key=value": an existing key keeps its place, a
    // new one goes to the end of its section, a missing section is added at
    // the end of the file. A value is cut at its first line break.
    void WriteString(const std::string &section, const std::string &key, const std::string &value);
    // Decimal.
    void WriteInteger(const std::string &section, const std::string &key, int value);
    // "1" or "0".
    void WriteBool(const std::string &section, const std::string &key, bool value);

    // The content as UpdateFile writes it: per section its header, its lines
    // and one empty line, each line ended by CR LF.
    std::string Text() const;
    // Writes Text() to a temporary file beside the file and then moves it
    // over the file, so the file is either the old one or the new one, never
    // a part. False, with the old file untouched and no temporary file left,
    // when anything fails or when the file could not be read at construction.
    bool UpdateFile() const;

private:
    struct TSection {
        std::string Name;
        TStringList Lines;
    };
    void SetText(const std::string &text);
    int FindSection(const std::string &name) const;  // -1: none
    static int FindKey(const TSection &section, const std::string &key);  // -1: none

    std::string FFileName;
    bool FLoaded = true;
    std::vector<TSection> FSections;
};

// The settings file of the running program: its executable's full path with
// the extension replaced by ".ini".
std::string ApplicationIniFileName();
