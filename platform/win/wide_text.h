#pragma once

#include <string>
#include <string_view>

// UTF-8 (the cache's paths, the shell's texts) to the UTF-16 the wide Windows calls take; never
// through the code page. Any thread.
namespace gameshell::platform {
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
}
