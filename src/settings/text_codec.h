#pragma once
// The converter under the device text encoding (text_encoding.h), one file
// per platform: iconv (text_codec_iconv.cpp) and the Win32 code page
// functions (text_codec_win32.cpp). Both give the same bytes, the same
// text and refuse the same characters for the code pages we offer.
#include <cstddef>
#include <string>
#include <string_view>

namespace zd573::settings::codec {

// The converter's name for the code page ("CP950", ...), empty when this
// system cannot convert it in both directions.
std::string Name(int codePage);

// Valid UTF-8 to the code page, appended to `out`. Returns npos when all of
// it converts, else the offset of the first character the code page lacks.
std::size_t Encode(std::string_view utf8, int codePage, std::string& out);

// Bytes in the code page to UTF-8; each byte that does not decode becomes
// U+FFFD, and is counted in `undecodable` when given.
std::string Decode(std::string_view bytes, int codePage, std::size_t* undecodable = nullptr);

// The system's own ANSI code page (GetACP on Windows); 0 where the locale
// environment decides instead (POSIX).
int SystemCodePage();

}  // namespace zd573::settings::codec
