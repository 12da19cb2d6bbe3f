#include "passwords.h"

#include <algorithm>
#include <utility>

#include "common/files.h"
#include "console.h"

namespace zd573::cli {
namespace {

// A password file holds a line; anything much larger is not one.
constexpr std::size_t kMaxPasswordFileBytes = 4096;

// The first line of a private file, without its line end. The exit code.
int ReadPasswordFile(const std::string& option, const std::string& path, std::string& password) {
  files::SecretFile file = files::ReadSecretFile(path, kMaxPasswordFileBytes);
  if (!file.refused.empty()) {
    Fail(option + " " + path + " is not used: " + file.refused);
    return kBadValue;
  }
  std::string text = std::move(file.text);
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // a byte order mark from a Windows editor
  text.resize(std::min(text.find('\n'), text.size()));
  if (!text.empty() && text.back() == '\r') text.pop_back();
  password = std::move(text);
  return kOk;
}

}  // namespace

int ChoosePassword(Options& o) {
  if (o.havePassword) return kOk;
  if (!o.passwordFile.empty()) {
    if (int rc = ReadPasswordFile("--password-file", o.passwordFile, o.password); rc != kOk) return rc;
    o.havePassword = true;
    return kOk;
  }
  // Set but empty is taken as unset: an empty password needs no giving.
  if (std::string env = files::EnvVar(kPasswordVariable); !env.empty()) {
    o.password = std::move(env);
    o.havePassword = true;
  }
  return kOk;
}

int ChooseNewPassword(const Options& o, const std::vector<std::string>& words, std::string& password) {
  if (words.size() > 2 || (words.size() == 2 && !o.newPasswordFile.empty())) {
    Fail("password takes the new password once: NEW, --new-password-file FILE or typed on the terminal");
    return kUsage;
  }
  if (words.size() == 2) {
    password = words[1];
    return kOk;
  }
  if (!o.newPasswordFile.empty()) return ReadPasswordFile("--new-password-file", o.newPasswordFile, password);
  if (!IsTerminal(Stream::In)) {
    Fail("password needs the new password: type it on a terminal, or give --new-password-file FILE");
    return kUsage;
  }
  const std::optional<std::string> typed = ReadHiddenLine("New password: ");
  const std::optional<std::string> again = typed ? ReadHiddenLine("The new password again: ") : std::nullopt;
  // A signal while it is asked ends the command; nothing was sent.
  if (!typed || !again) return kInterrupted;
  if (*again != *typed) {
    Fail("The two entries differ; nothing was sent");
    return kBadValue;
  }
  password = *typed;
  return kOk;
}

}  // namespace zd573::cli
