// Character sets of member names: UTF-8 inside the engine, the OEM code page (437) and the ANSI
// code page (1252) in archives and on old hosts.
//
// The tables are built in rather than asked of the platform, so that an archive comes out the
// same on every machine and matches what Info-ZIP unzip, 7-Zip and Python assume for names from
// a DOS/Windows host (code page 437).
#pragma once
#include <cstdint>
#include <string>

namespace zip {

enum class CodePage { Oem437, Ansi1252 };

bool IsAscii(const std::string& s);
bool IsValidUtf8(const std::string& s);
// Decodes bytes of the code page to UTF-8 (every byte has a mapping).
std::string CpToUtf8(const std::string& bytes, CodePage cp);
// Encodes UTF-8 to the code page; false (out is then undefined) when a character has no byte there.
bool Utf8ToCp(const std::string& utf8, CodePage cp, std::string& out);
// Appends a code point as UTF-8.
void AppendUtf8(std::string& out, uint32_t cp);
// Decodes the next code point at s[i] and advances i; invalid bytes give U+FFFD.
uint32_t NextUtf8(const std::string& s, size_t& i);

}  // namespace zip
