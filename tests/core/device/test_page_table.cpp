#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device_settings.h"
#include "device/page_table.h"
#include "device/protocol.h"

namespace zd573 {
namespace {

// A sixth page added to a copy of the table, as a new page is added: a server
// page that sends the server's address, port and second address (read-only
// today) as one sentence.
constexpr std::string_view kServerKeys[] = {"E0", "E1", "E2"};
constexpr SentenceCut kServerSentence[] = {{proto::kPartOnly, 0, kServerKeys}};
constexpr FieldText kServerFields[] = {
    {"E0", "STR_SERVERPAGE_FIELDIP", "server address"},
    {"E1", "STR_SERVERPAGE_FIELDPORT", "server port number"},
    {"E2", "STR_SERVERPAGE_FIELDIP2", "backup server address"},
};
constexpr auto kServer = static_cast<Page>(6);
constexpr PageRow kServerRow{kServer, "server", "STR_SERVERPAGE_SETTINGS", "STR_MAINPAGE_STR9", "Server",
                             kServerSentence, kServerFields, {}};

// The table with the server page before the password, which stays last.
std::vector<PageRow> WithServerPage() {
  std::vector<PageRow> table(PageTable().begin(), PageTable().end());
  table.insert(table.end() - 1, kServerRow);
  return table;
}

TEST(SixthPage, SendsItsSentenceAndIsNamedAndOrderedByItsRow) {
  const std::vector<PageRow> table = WithServerPage();
  DeviceValues v;
  v.SetText("E0", "10.0.0.1");
  v.SetNumber("E1", 8080);
  v.SetText("E2", "backup.example");
  v.SetText("D1", "internet");
  const PageRow* server = FindPageRow(kServer, table);
  ASSERT_NE(server, nullptr);
  auto sentences = BuildRowTransaction(*server, v);
  ASSERT_TRUE(sentences.ok()) << sentences.error();
  EXPECT_EQ(*sentences, std::vector<Sentence>{"KVS,KestrovinZD-573,3,0,E0=10.0.0.1,E1=8080,E2=backup.example*QQ!\r\n"});

  EXPECT_EQ(PageOfKey("E1", table), kServer);
  EXPECT_EQ(FieldLabel("E1", table), "server port number (E1)");
  EXPECT_EQ(NameOfField("E2", table)->text->textKey, "STR_SERVERPAGE_FIELDIP2");
  // A field it does not send keeps its name.
  EXPECT_EQ(FieldLabel("E3", table), "second server port (E3)");

  // A change of the server and of GPRS writes GPRS, then the server, then the password.
  const std::vector<std::string> changed = {"OU", "E1", "D1"};
  std::vector<Page> order;
  for (const PageRow* row : PagesSending(changed, table)) order.push_back(row->id);
  EXPECT_EQ(order, (std::vector<Page>{Page::Gprs, kServer, Page::Password}));
}

}  // namespace
}  // namespace zd573
