// Conversions between the engine's UTF-8 and the strings of Win32 and of the parameter blocks.
#pragma once
#include <string>

namespace zc {
std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& w, unsigned codepage);
// Strings of the parameter blocks and callback texts are in the ANSI code page.
std::string AnsiToUtf8(const char* ansi);
std::string Utf8ToAnsi(const std::string& utf8);
}  // namespace zc
