#pragma once
// Registry keys and values in the registry's own text export format, so the
// settings file reads like an exported registry branch:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\Software\Oskel\Torvane]
//   "com"="4"
//   "count"=dword:00000004
//   "path"=hex(2):25,00,54,00,00,00
//
// Every value keeps the form it was read in, so keys and values this program
// does not use survive a rewrite unchanged.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

// Registry value types, by their numbers in the registry.
inline constexpr std::uint32_t RegSz = 1;
inline constexpr std::uint32_t RegExpandSz = 2;
inline constexpr std::uint32_t RegBinary = 3;
inline constexpr std::uint32_t RegDword = 4;

enum class RegForm {
    Quoted,   // "text": a string value
    Dword,    // dword:0000002a
    Hex,      // hex:.. (binary) or hex(n):.. (type n as raw bytes)
    Comment,  // a ';' line kept where it stood, byte for byte
};

struct RegValue {
    std::string name;                 // empty: the key's default value, written @
    RegForm form = RegForm::Quoted;
    std::string text;                 // Quoted: the text; Comment: the whole line
    std::uint32_t number = 0;         // Dword
    std::uint32_t hexType = RegBinary;  // Hex
    std::vector<std::uint8_t> bytes;  // Hex

    std::uint32_t type() const;       // RegSz, RegDword or the hex type
    std::size_t dataSize() const;     // bytes the registry would hold, string terminator included
    bool isString() const { return type() == RegSz || type() == RegExpandSz; }
    // The text of a string value up to its first zero character (UTF-8).
    // Precondition: isString().
    std::string stringText() const;
};

struct RegKey {
    std::string path;  // full path, e.g. HKEY_LOCAL_MACHINE\Software\Oskel\Torvane
    std::vector<RegValue> values;
};

struct RegistryDocument {
    // How the text was written, so that rewriting it changes only what was
    // changed: its first line, a byte order mark, CR LF line ends.
    std::string header;                 // empty: the version 5.00 header
    bool byteOrderMark = false;
    bool crlf = false;
    std::vector<std::string> preamble;  // comment lines before the first key, as read
    std::vector<RegKey> keys;           // in file order

    // Key paths and value names compare regardless of letter case, as in the
    // registry; trailing backslashes of `path` are ignored.
    RegKey* findKey(std::string_view path);
    // Finds the key, else appends it after appending any missing parent key.
    RegKey& createKey(std::string_view path);
};

RegValue* FindValue(RegKey& key, std::string_view name);

// A string value; text a quoted line cannot carry (line breaks, zero
// characters) is stored as hex(1), the registry's raw form of a string.
RegValue StringValue(std::string_view name, std::string_view text);

// False when `name` cannot be written as a value name (line breaks, zeros).
bool IsWritableValueName(std::string_view name);

struct ParsedRegistry {
    RegistryDocument document;
    std::string error;  // empty when the text was read in full; else "line N: why"
};

// Reads an export (REGEDIT4 or version 5.00, UTF-8, optional byte order mark).
// Empty or blank text is an empty document. Anything else it does not know is
// an error: the caller must not overwrite such text blindly.
ParsedRegistry ParseRegistryText(std::string_view text);
std::string FormatRegistryText(const RegistryDocument& document);

}  // namespace torvane
