#include "device/transactions.h"

#include <thread>

namespace zd573 {
namespace {

bool In(std::string_view key, std::initializer_list<std::string_view> keys) {
  for (auto k : keys)
    if (k == key) return true;
  return false;
}

}  // namespace

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
  if (In(key, {"F5", "F7", "B0", "B1", "F6", "F4", "O6"})) return Page::Info;
  if (key.size() == 2 && key[0] == 'V' && ((key[1] >= 'a' && key[1] <= 't') || (key[1] >= 'A' && key[1] <= 'T')))
    return Page::Contacts;
  if (key.size() == 2 && key[0] == 'G' && key[1] >= '0' && key[1] <= '5') return Page::Contacts;
  if (In(key, {"H2", "F0", "F2"})) return Page::Contacts;
  if (In(key, {"D1", "D2", "D3", "D4", "D5"})) return Page::Gprs;
  if (In(key, {"FE", "F8", "FB", "XA", "XB", "XC", "XD", "YA", "YB", "YC", "YD", "ZA", "ZB", "ZC", "ZD"}))
    return Page::Ring;
  if (In(key, {"O2", "OX"})) return Page::Logger;
  if (key == "OU") return Page::Password;
  return std::nullopt;
}

Expected<std::vector<Sentence>> BuildPageTransaction(Page page, DeviceValues& v) {
  auto one = [](Expected<Sentence> s) -> Expected<std::vector<Sentence>> {
    if (!s) return Error{s.error()};
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

Status WriteTransaction(DevicePort& port, const std::vector<Sentence>& sentences, const WriteOptions& options) {
  for (const Sentence& s : sentences) {
    if (auto w = port.Write(s); !w) return w;
    // Set sentences are not acknowledged; the device needs this long to store each.
    std::this_thread::sleep_for(options.pause);
  }
  return {};
}

Status ApplyPage(const std::string& portName, Page page, DeviceSettings& settings, const DeviceValues& edited,
                 const WriteOptions& options, std::string* detail) {
  DeviceValues values = edited;
  auto sentences = BuildPageTransaction(page, values);
  if (!sentences) return Error{sentences.error()};
  auto port = OpenComPort(portName);
  if (!port) {
    if (detail) *detail = port.error();
    return Error{std::string(kOpenPortFailed)};
  }
  settings.Assign(values);
  Status written = WriteTransaction(**port, *sentences, options);
  (*port)->Close();
  return written;
}

Status SendQuery(const std::string& portName, const Sentence& query, const WriteOptions& options,
                 std::string* detail) {
  auto port = OpenComPort(portName);
  if (!port) {
    if (detail) *detail = port.error();
    return Error{std::string(kOpenPortFailed)};
  }
  Status written = WriteTransaction(**port, {query}, options);
  (*port)->Close();
  return written;
}

}  // namespace zd573
