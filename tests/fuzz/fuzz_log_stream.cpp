// The log stream receiver fed in random pieces with random pauses (reads that
// bring nothing). A clean stream, however it is cut and paused and whatever
// skippable packets and stray bytes lie between its packets (a false packet
// start before the last one among them), always completes,
// and temp.log then holds exactly the accepted packets' payloads. Any bytes at
// all never overflow the buffer, end the download at most once, and leave no
// temporary file behind.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/log_download.h"
#include "device/protocol.h"
#include "fuzz_support.h"

using namespace zd573;
namespace fs = std::filesystem;

namespace {

class Observer final : public LogObserver {
 public:
  void LogProgress(Progress p) override {
    FUZZ_CHECK(p.done <= p.total, "progress past the total before the end");
    FUZZ_CHECK(progress.empty() ? p.done == 0 : p.done >= progress.back().done, "progress went back");
    progress.push_back(p);
  }
  void LogEnded(int code) override {
    FUZZ_CHECK(codes.empty(), "a second end");
    codes.push_back(code);
  }
  std::vector<Progress> progress;
  std::vector<int> codes;
};

// A byte from the input that cannot start a packet: a clean stream holds no
// packet start but its packets' own, since records that hold a whole packet
// of their own cannot be told from it.
char NoStart(fuzz::Input& in) {
  const std::uint8_t b = in.Byte();
  return static_cast<char>(b == proto::kPacketStart ? b + 1 : b);
}

std::string Packet(fuzz::Input& in, int records, std::uint8_t type, bool goodCheck, std::string* payload) {
  std::string p;
  p += static_cast<char>(proto::kPacketStart);
  p += '$';
  p += static_cast<char>(8 + 20 * records);
  p += static_cast<char>(type);
  p += NoStart(in);
  p += NoStart(in);
  std::string body;
  for (int i = 0; i < 20 * records; ++i) body += NoStart(in);
  p += body;
  std::uint8_t check = 0;
  for (std::size_t k = 2; k < p.size(); ++k) check ^= static_cast<std::uint8_t>(p[k]);
  std::uint8_t bad = check ^ static_cast<std::uint8_t>(1 + in.Byte() % 255);
  if (bad == proto::kPacketStart) bad = check ^ 0x55;
  p += static_cast<char>(goodCheck ? check : bad);
  p += '!';
  if (payload) *payload = body;
  return p;
}

// Bytes that can neither start a packet nor a line the receiver looks for.
std::string Stray(fuzz::Input& in, std::size_t max) {
  std::string s;
  for (int n = in.Range(0, static_cast<int>(max)); n > 0; --n) s += NoStart(in);
  return s;
}

// A text line without "=" (so no count or marker line) and no break inside.
std::string TextLine(fuzz::Input& in) {
  std::string s = in.Bytes(60);
  for (char& c : s)
    if (c == '=' || c == '\r' || c == '\n') c = '.';
  return s + "\r\n";
}

struct Stream {
  std::string bytes;
  std::string payloads;  // what temp.log must hold at the end
  std::uint32_t total = 0;
  std::uint32_t damaged = 0;  // records in packets that fail their check: lost, but counted
};

Stream CleanStream(fuzz::Input& in) {
  Stream s;
  s.total = static_cast<std::uint32_t>(in.Range(1, 150));
  for (int i = in.Range(0, 3); i > 0; --i) s.bytes += TextLine(in);
  s.bytes += "dataCount=" + std::to_string(s.total) + "\r\n";
  for (int i = in.Range(0, 2); i > 0; --i) s.bytes += TextLine(in);
  s.bytes += proto::kMarkerLine;
  std::uint32_t received = 0;
  while (received < s.total) {
    // Once the input runs out, whole packets finish the stream.
    switch (in.Empty() ? 7 : in.Range(0, 7)) {
      case 0: s.bytes += Stray(in, 20); break;
      case 1: s.bytes += Packet(in, in.Range(0, 12), 0xB2, true, nullptr); break;  // another type
      case 2: {  // damaged
        const int records = in.Range(1, 12);
        s.bytes += Packet(in, records, proto::kLogPacketType, false, nullptr);
        s.damaged += static_cast<std::uint32_t>(records);
        received += static_cast<std::uint32_t>(records);
        break;
      }
      case 3: s.bytes += Packet(in, 0, proto::kLogPacketType, true, nullptr); break;  // empty
      default: {
        std::string payload;
        const int records = in.Empty() ? 12 : in.Range(1, 12);
        // Before the last packet, perhaps bytes that look like the start of a
        // packet longer than all that follows.
        if (received + static_cast<std::uint32_t>(records) >= s.total && in.Flag()) s.bytes += "\x02$\xFF";
        s.bytes += Packet(in, records, proto::kLogPacketType, true, &payload);
        s.payloads += payload;
        received += static_cast<std::uint32_t>(records);
      }
    }
  }
  return s;
}

// Feeds the stream in pieces of 1 to 64 bytes (never more than the receiver
// has room for), with runs of empty reads between them.
void Feed(LogStreamReceiver& r, fuzz::Input& in, const std::string& stream) {
  std::size_t off = 0;
  int guard = 0;
  while (off < stream.size() && !r.Ended()) {
    FUZZ_CHECK(++guard < 1'000'000, "the receiver stopped taking bytes");
    const std::size_t room = r.Room();
    // Once the input runs out, the rest comes in full reads.
    if (room == 0 || (!in.Empty() && in.Range(0, 3) == 0)) {
      for (int i = room == 0 ? 1 : in.Range(1, 30); i > 0 && !r.Ended(); --i) r.Feed(nullptr, 0);
    } else {
      const std::size_t piece = in.Empty() ? 64 : static_cast<std::size_t>(in.Range(1, 64));
      const std::size_t n = std::min({room, stream.size() - off, piece});
      r.Feed(reinterpret_cast<const std::uint8_t*>(stream.data() + off), n);
      off += n;
    }
    FUZZ_CHECK(r.Buffered() <= LogStreamReceiver::kBufferSize, "overflow");
  }
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path dir = fuzz::ScratchDir() / "stream";
  fs::create_directories(dir);
  const fs::path raw = dir / "temp.log";
  fs::remove(raw);
  fuzz::Input in(data, size);
  const bool clean = in.Flag();
  {
    Observer o;
    LogStreamReceiver r(o, raw.string());
    if (clean) {
      // The decisions that shape the stream and those that cut it come from
      // separate ends of the input, so a change in one leaves the other.
      Stream s = CleanStream(in);
      Feed(r, in, s.bytes);
      for (int i = 0; i < 300 && !r.Ended(); ++i) r.Feed(nullptr, 0);
      r.Settle();
      FUZZ_CHECK(o.codes.size() == 1 && o.codes[0] == (s.damaged ? kLogCompleteWithLosses : kLogComplete),
                 "a clean stream did not complete");
      FUZZ_CHECK(fuzz::ReadFileBytes(raw) == s.payloads, "temp.log is not the accepted payloads");
      FUZZ_CHECK(r.Damaged() == s.damaged, "damaged records miscounted");
      const std::uint32_t counted = r.Received() + r.Damaged();
      FUZZ_CHECK(counted >= s.total && counted < s.total + 12, "count");
    } else {
      const bool started = in.Flag();
      std::string stream = started ? "dataCount=" + std::to_string(in.Range(1, 60)) + "\r\n===\r\n" : "";
      stream += in.Rest();
      fuzz::Input cuts(data, size);
      Feed(r, cuts, stream);
      r.Settle(true);
      FUZZ_CHECK(o.codes.size() <= 1, "more than one end");
      if (!o.codes.empty() && (o.codes[0] == kLogComplete || o.codes[0] == kLogCompleteWithLosses)) {
        const std::size_t bytes = fuzz::ReadFileBytes(raw).size();
        FUZZ_CHECK(bytes == 20u * r.Received() && bytes == r.Records().size(), "temp.log is not the records kept");
        FUZZ_CHECK(std::uint64_t{r.Received()} + r.Damaged() >= r.Total(), "ended before the count");
        FUZZ_CHECK((o.codes[0] == kLogComplete) == (r.Damaged() == 0), "losses not told");
      }
    }
  }
  // The receiver is gone: at most the completed temp.log is left.
  for (const std::string& name : Entries(dir)) FUZZ_CHECK(name == "temp.log", "left behind: " + name);
  fs::remove(raw);
  return 0;
}
