// The device text encoding with iconv (glibc).
#include <iconv.h>

#include <cerrno>
#include <string>
#include <vector>

#include "settings/text_codec.h"

namespace zd573::settings::codec {
namespace {

// iconv names to try, best first; glibc spells some pages more than one way.
std::vector<std::string> Candidates(int codePage) {
  std::vector<std::string> names{"CP" + std::to_string(codePage)};
  switch (codePage) {
    case 874: names.emplace_back("TIS-620"); break;
    case 932: names.emplace_back("SHIFT_JIS"); break;
    case 936: names.emplace_back("GBK"); break;
    case 949: names.emplace_back("UHC"); break;
    case 950: names.emplace_back("BIG5"); break;
    default: break;
  }
  return names;
}

class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : cd_(::iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) ::iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts what it can; returns the errno that stopped it (0 at the end).
  // `in` is advanced past the converted input.
  int Run(std::string_view& in, std::string& out) {
    char buffer[256];
    while (true) {
      char* src = const_cast<char*>(in.data());
      std::size_t srcLeft = in.size();
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      const std::size_t r = ::iconv(cd_, in.empty() ? nullptr : &src, &srcLeft, &dst, &dstLeft);
      const int err = r == static_cast<std::size_t>(-1) ? errno : 0;
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (!in.empty()) in.remove_prefix(in.size() - srcLeft);
      if (err != E2BIG) return err;
    }
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Name(int codePage) {
  for (const std::string& name : Candidates(codePage)) {
    if (Converter(name, "UTF-8").ok() && Converter("UTF-8", name).ok()) return name;
  }
  return {};
}

std::size_t Encode(std::string_view utf8, int codePage, std::string& out) {
  Converter conv(Name(codePage), "UTF-8");
  std::string_view in = utf8;
  if (conv.Run(in, out) != 0) return utf8.size() - in.size();
  std::string_view none;
  conv.Run(none, out);  // flush a stateful encoder
  return std::string_view::npos;
}

std::string Decode(std::string_view bytes, int codePage, std::size_t* undecodable) {
  Converter conv("UTF-8", Name(codePage));
  std::string out;
  std::string_view in = bytes;
  std::size_t bad = 0;
  while (conv.Run(in, out) != 0 && !in.empty()) {
    out += "\xEF\xBF\xBD";  // U+FFFD for a byte that does not decode
    in.remove_prefix(1);
    ++bad;
  }
  if (undecodable) *undecodable = bad;
  std::string_view none;
  conv.Run(none, out);  // flush a decoder that holds back a combining base
  return out;
}

int SystemCodePage() { return 0; }

}  // namespace zd573::settings::codec
