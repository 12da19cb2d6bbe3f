#include "device/transactions.h"

#include <thread>

#include "device/device_job.h"
#include "device/settings_reader.h"

namespace zd573 {
Expected<std::vector<Sentence>> BuildPageTransaction(Page page, DeviceValues& values) {
  const PageRow* row = FindPageRow(page);
  if (!row) return Error{"Unknown page"};
  return BuildRowTransaction(*row, values);
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

// The pause after a sentence; false when a stop or a lost port cut it short, with `why`.
bool Pause(DevicePort& port, const WriteOptions& options, Status& why) {
  if (!options.listen) {
    if (PauseUnlessStopped(options.pause, options.stop)) return true;
    why = Stopped();
    return false;
  }
  switch (ListenFor(port, *options.listen, options.pause, options.stop)) {
    case Listened::Done: return true;
    case Listened::Stopped: why = Stopped(); return false;
    case Listened::Lost: break;
  }
  why = Error{std::string(kReaderDisconnected), ErrorCode::Disconnected, {}}.Names(MessageKind::PortDisconnected);
  return false;
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
    // Not stopped half-way: the sentence is short, and the write's own time limit bounds it.
    if (auto w = port.Write(s); !w) {
      out.status = w;
      return out;
    }
    ++out.written;
    if (written) written(s);
    if (options.progress) options.progress(out.written, total);
    // Set sentences are not acknowledged; the device needs this long to store each.
    if (Status why; !Pause(port, options, why)) {
      // The sentence is on the line; only what follows is left unsent. A
      // tracker gone before the pause ended may not have stored it.
      if (out.written < total || why.code() == ErrorCode::Disconnected) out.status = why;
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
  result.started = true;
  auto store = [&](const Sentence& sentence) {
    settings.Update([&](DeviceValues& record) {
      for (const std::string& key : SentenceKeys(sentence)) {
        const KeyInfo* k = FindKey(key);
        if (!k || !PageSends(page, key)) continue;
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

ApplyResult ApplyPageOn(DevicePort& port, Page page, DeviceSettings& settings, const DeviceValues& edited,
                        const WriteOptions& options) {
  ApplyResult result;
  // Built first, so a value that cannot be sent never touches the port.
  DeviceValues values = edited;
  auto sentences = BuildForApply(page, values);
  if (!sentences) {
    result.status = sentences.failure();
    return result;
  }
  WriteBuilt(port, page, settings, values, *sentences, options, result);
  return result;
}

Status CheckPageSendable(Page page, const DeviceValues& edited) {
  DeviceValues values = edited;
  auto sentences = BuildForApply(page, values);
  if (!sentences) return sentences.failure();
  return {};
}

Status SendQueryOn(DevicePort& port, const Sentence& query, const WriteOptions& options) {
  return WriteTransaction(port, {query}, options).status;
}

}  // namespace zd573
