// Line assembly: whatever arrives, in whatever pieces, every byte comes out
// in order, only line breaks are ever added, no line is longer than the
// buffer, and the assembler always has room for more once its lines are taken.
#include <cstdint>
#include <string>

#include "device/settings_reader.h"
#include "fuzz_support.h"

using namespace zd573;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t pieceSeed = in.Byte();
  const std::string input = in.Rest();

  LineAssembler a;
  std::string out, line;
  std::size_t off = 0;
  unsigned piece = pieceSeed | 1u;
  while (off < input.size()) {
    const std::size_t room = a.Room();
    FUZZ_CHECK(room > 0 && room <= 64, "no room with the lines taken");
    piece = piece * 1103515245u + 12345u;
    const std::size_t n = std::min({room, input.size() - off, std::size_t{1} + (piece >> 16) % 64});
    a.Append(reinterpret_cast<const std::uint8_t*>(input.data() + off), n);
    off += n;
    while (a.NextLine(line)) {
      FUZZ_CHECK(line.size() >= 2 && line.ends_with("\r\n"), line);
      FUZZ_CHECK(line.size() <= LineAssembler::kCapacity + 2, std::to_string(line.size()));
      FUZZ_CHECK(line.find("\r\n") == line.size() - 2, "a line holds a break");
      out += line;
    }
    FUZZ_CHECK(a.Pending().size() <= LineAssembler::kCapacity + 2, std::to_string(a.Pending().size()));
  }
  out += a.Pending();

  // The input is the output with some CR and LF taken out.
  std::size_t i = 0;
  for (char c : out) {
    if (i < input.size() && c == input[i]) {
      ++i;
    } else {
      FUZZ_CHECK(c == '\r' || c == '\n', "a byte changed or was added");
    }
  }
  FUZZ_CHECK(i == input.size(), "a byte was lost");
  return 0;
}
