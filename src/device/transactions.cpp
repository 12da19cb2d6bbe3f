#include "device/transactions.h"

#include <thread>

#include "device/device_job.h"

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

std::vector<std::string> SentenceKeys(const Sentence& sentence) {
  std::vector<std::string> keys;
  std::size_t field = sentence.find(',');
  while (field != std::string::npos) {
    const std::size_t next = sentence.find(',', field + 1);
    const std::size_t equals = sentence.find('=', field + 1);
    if (equals == field + 3 && (next == std::string::npos || equals < next)) keys.push_back(sentence.substr(field + 1, 2));
    field = next;
  }
  return keys;
}

namespace {

Error Stopped() {
  return Error{"Stopped before every sentence was written", ErrorCode::Stopped}.Names(MessageKind::Stopped);
}
}  // namespace

WriteOutcome WriteTransaction(DevicePort& port, const std::vector<Sentence>& sentences, const WriteOptions& options,
                              const std::function<void(const Sentence&)>& written) {
  WriteOutcome out;
  const int total = static_cast<int>(sentences.size());
  for (const Sentence& s : sentences) {
    if (options.stop.stop_requested()) {
      out.status = Stopped();
      return out;
    }
    if (auto w = port.Write(s, options.stop); !w) {
      out.status = w.code() == ErrorCode::Stopped ? Status(Stopped()) : w;
      return out;
    }
    ++out.written;
    if (written) written(s);
    if (options.progress) options.progress(out.written, total);
    // Set sentences are not acknowledged; the device needs this long to store each.
    if (!PauseUnlessStopped(options.pause, options.stop)) {
      // The sentence is on the line; only what follows is left unsent.
      if (out.written < total) out.status = Stopped();
      return out;
    }
  }
  return out;
}

namespace {

// The page's sentences, or the value that cannot be sent (BadValue).
Expected<std::vector<Sentence>> BuildForApply(Page page, DeviceValues& values) {
  auto sentences = BuildPageTransaction(page, values);
  if (sentences) return sentences;
  Error e = sentences.failure();
  e.code = ErrorCode::BadValue;
  return e;
}

// Writes the built sentences on an open port; each sentence's values count as
// stored once it is on the line.
void WriteBuilt(DevicePort& port, Page page, DeviceSettings& settings, const DeviceValues& values,
                const std::vector<Sentence>& sentences, const WriteOptions& options, ApplyResult& result) {
  result.total = static_cast<int>(sentences.size());
  result.portOpened = true;
  auto store = [&](const Sentence& sentence) {
    settings.Update([&](DeviceValues& record) {
      for (const std::string& key : SentenceKeys(sentence)) {
        const KeyInfo* k = FindKey(key);
        if (!k || k->page != page) continue;
        if (k->kind == FieldKind::Text) {
          record.SetText(k->key, values.Text(k->key));
        } else {
          record.SetNumber(k->key, values.Number(k->key));
        }
      }
    });
  };
  WriteOutcome written = WriteTransaction(port, sentences, options, store);
  result.written = written.written;
  if (!written.status) {
    Error e = written.status.failure();
    e.detail = e.message;
    e.message = "Writing the " + std::string(PageName(page)) + " settings failed after " +
                std::to_string(written.written) + " of " + std::to_string(result.total) +
                (result.total == 1 ? " sentence" : " sentences");
    // The write's own message is now the detail; its errno stays.
    e.detailKind = e.kind;
    e.kind = MessageKind::WriteFailedAfter;
    e.args = {std::string(PageName(page)), std::to_string(written.written), std::to_string(result.total)};
    result.status = e;
  }
  result.stored = settings.Snapshot();
}

}  // namespace

ApplyResult ApplyPage(const std::string& portName, Page page, DeviceSettings& settings, const DeviceValues& edited,
                      const WriteOptions& options) {
  ApplyResult result;
  DeviceValues values = edited;
  auto sentences = BuildForApply(page, values);
  if (!sentences) {
    result.status = sentences.failure();
    return result;
  }
  result.total = static_cast<int>(sentences->size());
  auto port = OpenComPort(portName);
  if (!port) {
    result.status = port.failure();
    return result;
  }
  WriteBuilt(**port, page, settings, values, *sentences, options, result);
  (*port)->Close();
  return result;
}

ApplyResult ApplyPageOn(DevicePort& port, Page page, DeviceSettings& settings, const DeviceValues& edited,
                        const WriteOptions& options) {
  ApplyResult result;
  DeviceValues values = edited;
  auto sentences = BuildForApply(page, values);
  if (!sentences) {
    result.status = sentences.failure();
    return result;
  }
  WriteBuilt(port, page, settings, values, *sentences, options, result);
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
