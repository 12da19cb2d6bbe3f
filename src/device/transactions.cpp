#include "device/transactions.h"

#include <thread>

namespace zd573 {
std::string_view PageName(Page page) {
  switch (page) {
    case Page::Info: return "device information";
    case Page::Contacts: return "contacts and messages";
    case Page::Gprs: return "GPRS";
    case Page::Ring: return "ringing and alarms";
    case Page::Logger: return "logger";
    case Page::Password: return "password";
  }
  return "";
}

std::optional<Page> PageOfKey(std::string_view key) {
  const KeyInfo* k = FindKey(key);
  return k ? k->page : std::nullopt;
}

bool PageSends(Page page, std::string_view key) { return PageOfKey(key) == page; }

Expected<std::vector<Sentence>> BuildPageTransaction(Page page, DeviceValues& v) {
  auto one = [](Expected<Sentence> s) -> Expected<std::vector<Sentence>> {
    if (!s) return s.failure();
    return std::vector<Sentence>{std::move(s.value())};
  };
  switch (page) {
    case Page::Info:
      return one(BuildInfoSentence(v.Number("F5"), v.Number("F7"), v.Text("B0"), v.Text("B1"), v.Number("F6"),
                                   v.Text("F4"), v.Number("O6")));
    case Page::Contacts: {
      if (v.Number("H2") <= 3) v.SetNumber("H2", 3);  // the device cannot report more often
      ContactValues c;
      char key[3] = {'V', 0, 0};
      for (int i = 0; i < 20; ++i) {
        key[1] = static_cast<char>('a' + i);
        c.names[i] = v.Text(key);
        key[1] = static_cast<char>('A' + i);
        c.numbers[i] = v.Text(key);
      }
      for (int i = 0; i < 6; ++i) c.emergency[i] = v.Text(std::string{'G', static_cast<char>('0' + i)});
      c.h2 = v.Number("H2");
      c.f0 = v.Text("F0");
      c.f2 = v.Number("F2");
      return BuildContactsTransaction(c);
    }
    case Page::Gprs:
      return one(BuildGprsSentence({v.Text("D1"), v.Text("D2"), v.Text("D3"), v.Text("D4"), v.Text("D5")}));
    case Page::Ring: {
      RingValues r{v.Number("FE"), v.Number("F8"), v.Number("FB"), {}};
      const char letters[3] = {'X', 'Y', 'Z'};
      for (int i = 0; i < 3; ++i) {
        auto k = [&](char field) { return std::string{letters[i], field}; };
        r.alarms[i] = {v.Number(k('B')), v.Number(k('C')), v.Number(k('D')), v.Number(k('A'))};
      }
      return BuildRingTransaction(r);
    }
    case Page::Logger:
      if (v.Number("OX") == 0) return std::vector<Sentence>{BuildLoggerOffSentence()};
      v.SetNumber("OX", 1);
      if (v.Number("O2") <= 0) v.SetNumber("O2", 1);
      return std::vector<Sentence>{BuildLoggerOnSentence(v.Number("O2"), v.Number("OX"))};
    case Page::Password:
      return one(BuildPasswordSentence(v.Text("OU")));
  }
  return Error{"Unknown page"};
}

WriteOutcome WriteTransaction(DevicePort& port, const std::vector<Sentence>& sentences, const WriteOptions& options) {
  WriteOutcome out;
  for (const Sentence& s : sentences) {
    if (auto w = port.Write(s); !w) {
      out.status = w;
      return out;
    }
    ++out.written;
    // Set sentences are not acknowledged; the device needs this long to store each.
    std::this_thread::sleep_for(options.pause);
  }
  return out;
}

ApplyResult ApplyPage(const std::string& portName, Page page, DeviceSettings& settings, const DeviceValues& edited,
                      const WriteOptions& options) {
  ApplyResult result;
  DeviceValues values = edited;
  auto sentences = BuildPageTransaction(page, values);
  if (!sentences) {
    Error e = sentences.failure();
    e.code = ErrorCode::BadValue;
    result.status = e;
    return result;
  }
  result.total = static_cast<int>(sentences->size());
  auto port = OpenComPort(portName);
  if (!port) {
    result.status = port.failure();
    return result;
  }
  result.portOpened = true;
  settings.Update([&](DeviceValues& record) {
    for (const KeyInfo& k : AllKeys()) {
      if (k.page != page) continue;
      if (k.kind == FieldKind::Text) {
        record.SetText(k.key, values.Text(k.key));
      } else {
        record.SetNumber(k.key, values.Number(k.key));
      }
    }
  });
  WriteOutcome written = WriteTransaction(**port, *sentences, options);
  (*port)->Close();
  result.written = written.written;
  if (!written.status) {
    Error e = written.status.failure();
    e.detail = e.message;
    e.message = "Writing the " + std::string(PageName(page)) + " settings failed after " +
                std::to_string(written.written) + " of " + std::to_string(result.total) +
                (result.total == 1 ? " sentence" : " sentences");
    result.status = e;
  }
  result.stored = settings.Snapshot();
  return result;
}

Status SendQuery(const std::string& portName, const Sentence& query, const WriteOptions& options) {
  auto port = OpenComPort(portName);
  if (!port) return port.failure();
  WriteOutcome written = WriteTransaction(**port, {query}, options);
  (*port)->Close();
  return written.status;
}

}  // namespace zd573
