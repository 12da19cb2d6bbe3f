// Random and hostile input into the parsers that face the serial line: none may
// crash, read outside its buffer or break its own invariants.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "device/device_settings.h"
#include "device/log_download.h"
#include "device/sentences.h"
#include "device/settings_reader.h"

namespace zd573 {
namespace {

// Bytes biased towards the protocol's own characters, so the parsers get deep.
std::string RandomBytes(std::mt19937& rng, std::size_t maxLen) {
  static const std::string kAlphabet = "KVs,=*Q!\r\n$\x02\xA1" "B2OU F5E1VaVA0123456789-+ ";
  std::uniform_int_distribution<std::size_t> len(0, maxLen);
  std::uniform_int_distribution<int> pick(0, 9);
  std::string s(len(rng), '\0');
  for (char& c : s) {
    c = pick(rng) < 7 ? kAlphabet[rng() % kAlphabet.size()] : static_cast<char>(rng() & 0xFF);
  }
  return s;
}

TEST(Fuzz, ReplyParseKeepsEveryFieldWithinItsCapacity) {
  std::mt19937 rng(573);
  DeviceSettings settings;
  for (int i = 0; i < 50000; ++i) {
    std::string line = (i % 3 ? "KVs," : "") + RandomBytes(rng, 120) + (i % 2 ? "*QQ!\r\n" : "");
    std::uint8_t r = ParseReply(line, settings);
    ASSERT_LE(r, 3);
  }
  DeviceValues v = settings.Snapshot();
  for (const auto& k : AllKeys()) {
    if (k.kind == FieldKind::Text) {
      ASSERT_LE(v.Text(k.key).size(), static_cast<std::size_t>(k.capacity)) << k.key;
    }
    if (k.kind == FieldKind::Byte) {
      ASSERT_TRUE(v.Number(k.key) >= 0 && v.Number(k.key) <= 255) << k.key;
    }
    if (k.kind == FieldKind::U16) {
      ASSERT_TRUE(v.Number(k.key) >= 0 && v.Number(k.key) <= 65535) << k.key;
    }
  }
}

TEST(Fuzz, LineAssemblyNeverHoldsMoreThanItsBuffer) {
  std::mt19937 rng(4071);
  LineAssembler a;
  std::string line;
  for (int i = 0; i < 50000; ++i) {
    std::string chunk = RandomBytes(rng, 64).substr(0, a.Room());
    a.Append(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size());
    while (a.NextLine(line)) ASSERT_TRUE(line.ends_with("\r\n"));
    ASSERT_LE(a.Pending().size(), LineAssembler::kCapacity + 2);
    ASSERT_GT(a.Room() + a.Pending().size(), 0u);
  }
}

class NullObserver final : public LogObserver {
 public:
  void LogProgress(Progress progress) override {
    ASSERT_LE(progress.done, progress.total + 12);
  }
  void LogEnded(int code) override { codes.push_back(code); }
  std::vector<int> codes;
};

TEST(Fuzz, LogStreamSurvivesGarbageAndNeverOverflows) {
  std::mt19937 rng(20);
  auto raw = std::filesystem::temp_directory_path() / ("zd573-fuzz-" + std::to_string(::getpid()) + ".log");
  for (int round = 0; round < 300; ++round) {
    NullObserver o;
    LogStreamReceiver r(o, raw.string());
    // Half the rounds start a download, so the packet scan sees the garbage too.
    std::string head = round % 2 ? "dataCount=" + std::to_string(rng() % 50 + 1) + "\r\n===\r\n" : "";
    for (int i = 0; i < 40 && !r.Ended(); ++i) {
      std::string stream = (i == 0 ? head : "") + RandomBytes(rng, 64);
      std::size_t n = std::min(stream.size(), r.Room());
      r.Feed(reinterpret_cast<const std::uint8_t*>(stream.data()), n);
      if (i % 5 == 0) r.Feed(nullptr, 0);
      ASSERT_LE(r.Buffered(), LogStreamReceiver::kBufferSize);
    }
    ASSERT_LE(o.codes.size(), 1u);
  }
  std::filesystem::remove(raw);
}

}  // namespace
}  // namespace zd573
