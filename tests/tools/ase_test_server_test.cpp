// The test server seen from outside: started as a process on a free loopback
// port, driven by FreeTDS's tsql (an independent client) and by a raw socket
// where a test needs to misbehave on the wire.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/ase_server_fixture.h"
#include "tools/tsql_runner.h"

namespace vq::testing {
namespace {

class AseTestServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TsqlAvailable()) GTEST_SKIP() << "tsql (Debian freetds-bin) is not installed";
  }
  std::string Sql(AseServerFixture& server, const std::string& script) {
    return RunTsql(server.port(), server.user(), server.password(), script, server.database());
  }
};

// Lines of tsql output that hold a tab, i.e. result rows and headers.
std::vector<std::string> RowLines(const std::string& output) {
  std::vector<std::string> rows;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    // Drop tsql's prompts ("1> 2> ").
    while (true) {
      const auto prompt = line.find("> ");
      if (prompt == 0 || prompt == std::string::npos ||
          line.find_first_not_of("0123456789") != prompt) {
        break;
      }
      line.erase(0, prompt + 2);
    }
    // Message texts are printed as a tab and a quote; they are not rows.
    if (line.find('\t') != std::string::npos && line.rfind("\t\"", 0) != 0) rows.push_back(line);
    start = end + 1;
  }
  return rows;
}

bool HasMessage(const std::string& output, int number) {
  return output.find("Msg " + std::to_string(number) + " ") != std::string::npos;
}

TEST_F(AseTestServerTest, TsqlCreatesInsertsAndSelects) {
  AseServerFixture server;
  const std::string out = Sql(server,
                              "CREATE TABLE [Orders]([ID] INTEGER,[Customer] VARCHAR(40) NULL,"
                              "[Paid] BIT,[Total] MONEY NULL)\ngo\n"
                              "INSERT INTO [Orders] VALUES(7, 'O''Hara', 1, 12.5)\ngo\n"
                              "INSERT INTO [Orders] VALUES(8, NULL, 0, NULL)\ngo\n"
                              "SELECT * FROM [Orders]\ngo\n");
  const auto rows = RowLines(out);
  ASSERT_EQ(rows.size(), 3u) << out;
  EXPECT_EQ(rows[0], "ID\tCustomer\tPaid\tTotal");
  EXPECT_EQ(rows[1], "7\tO'Hara\t1\t12.5000");
  EXPECT_EQ(rows[2], "8\tNULL\t0\tNULL");
  EXPECT_NE(out.find("(2 rows affected)"), std::string::npos) << out;
}

TEST_F(AseTestServerTest, WrongPasswordOrUserIsRefusedWithLoginFailed) {
  AseServerFixture server;
  for (const auto& [user, password] : {std::pair{"sa", "wrong"}, std::pair{"nobody", "secret"}}) {
    const std::string out = RunTsql(server.port(), user, password, "select 42\ngo\n");
    EXPECT_TRUE(HasMessage(out, 4002)) << out;
    EXPECT_NE(out.find("Login failed."), std::string::npos) << out;
    EXPECT_EQ(out.find("42"), std::string::npos) << out;
  }
  // The right password still gets in afterwards.
  EXPECT_EQ(RowLines(Sql(server, "select 42, 'x'\ngo\n")).size(), 2u);
}

TEST_F(AseTestServerTest, DataOutlivesARestart) {
  AseServerFixture server;
  Sql(server,
      "create table [Kept]([n] int, [s] varchar(10))\ngo\n"
      "insert into [Kept] values(1, 'one')\ngo\ninsert into [Kept] values(2, 'two')\ngo\n");
  const int first_port = server.port();
  server.Restart();
  const auto rows = RowLines(Sql(server, "select s, n from Kept\ngo\n"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], "one\t1");
  EXPECT_EQ(rows[2], "two\t2");
  (void)first_port;
}

TEST_F(AseTestServerTest, SeveralClientsWorkAtOnce) {
  AseServerFixture server;
  Sql(server, "create table [Shared]([who] int, [n] int)\ngo\n");
  constexpr int kClients = 4, kRows = 40;
  std::vector<std::thread> clients;
  std::vector<std::string> outputs(kClients);
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      std::string script;
      for (int i = 0; i < kRows; ++i) {
        script +=
            "insert into Shared values(" + std::to_string(c) + ", " + std::to_string(i) + ")\ngo\n";
      }
      outputs[static_cast<std::size_t>(c)] = Sql(server, script);
    });
  }
  for (auto& t : clients) t.join();
  for (const auto& out : outputs) EXPECT_EQ(out.find("Msg "), std::string::npos) << out;
  const auto rows = RowLines(Sql(server,
                                 "select count(*), count(*) from Shared\ngo\n"
                                 "select count(*), count(*) from Shared where who = 2\ngo\n"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1], std::to_string(kClients * kRows) + "\t" + std::to_string(kClients * kRows));
  EXPECT_EQ(rows[3], std::to_string(kRows) + "\t" + std::to_string(kRows));
}

TEST_F(AseTestServerTest, ErrorsCarryAseNumbersAndTexts) {
  AseServerFixture server;
  Sql(server, "create table [T]([i] int, [s] varchar(10), [b] bit null)\ngo\n");
  struct Case {
    std::string sql;
    int number;
    std::string text;
  };
  const std::vector<Case> cases{
      {"select * from [Missing]", 208,
       "Missing not found. Specify owner.objectname or use sp_help to check whether the object "
       "exists (sp_help may produce lots of output)."},
      {"create table [T]([x] int)", 2714, "There is already an object named 'T' in the database."},
      {"insert into [T] values('', 'a', 0)", 257,
       "Implicit conversion from datatype 'VARCHAR' to 'INT' is not allowed.  Use the CONVERT "
       "function to run this query."},
      {"insert into [T] values('12', 'a', 0)", 257, "datatype 'VARCHAR' to 'INT'"},
      {"insert into [T] values(NULL, 'a', 0)", 233,
       "The column i in table T does not allow null values."},
      // bit stays NOT NULL even when declared NULL.
      {"insert into [T] values(1, 'a', NULL)", 233,
       "The column b in table T does not allow null values."},
      {"drop table [Missing]", 3701,
       "Cannot drop the table 'Missing', because it doesn't exist in the system catalogs."},
      {"selec * from T", 102, "Incorrect syntax near 'selec'."},
      {"select * from T where", 102, "Incorrect syntax near 'where'."},
      {"create table from (x int)", 156, "Incorrect syntax near the keyword 'from'."},
      {"use [nodb]", 911, "database 'nodb' by name failed"},
  };
  for (const Case& c : cases) {
    const std::string out = Sql(server, c.sql + "\ngo\n");
    EXPECT_TRUE(HasMessage(out, c.number)) << c.sql << "\n" << out;
    EXPECT_NE(out.find(c.text), std::string::npos) << c.sql << "\n" << out;
  }
  // None of the refused inserts left a row behind.
  const auto rows = RowLines(Sql(server, "select count(*), count(*) from T\ngo\n"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], "0\t0");
}

TEST_F(AseTestServerTest, ValuesComeBackInTheirDeclaredTypes) {
  AseServerFixture server;
  const std::string out = Sql(
      server,
      "create table [All]([ti] tinyint, [si] smallint, [i] int, [bi] bigint, [nu] numeric(12,3),"
      " [de] decimal(38,0), [mo] money, [sm] smallmoney, [fl] float, [re] real,"
      " [dt] datetime, [sd] smalldatetime, [d] date, [t] time, [c] char(4), [vc] varchar(10),"
      " [tx] text, [uc] unichar(3), [uv] univarchar(10), [bn] binary(3), [vb] varbinary(4),"
      " [im] image, [bt] bit, [ut] unitext null, [lv] varchar(300), [lb] varbinary(300))\ngo\n"
      "insert into [All] values(255, -32768, 2147483647, -9223372036854775808, -123456789.125,"
      " 99999999999999999999999999999999999999, -922337203685477.5808, 214748.3647, 0.1,"
      " 1.5, '2024-02-29 23:59:59.997', '2079-06-06 12:30', '0001-01-01', '13:14:15.010',"
      " 'ab', 'x  ', 'long text é', N'日本', N'Ünï', 0x0102, 0x00ff, 0xCAFE, 1, N'ユニ text',"
      " 'wide', 0xABCD)\ngo\n"
      "select * from [All]\ngo\n");
  const auto rows = RowLines(out);
  ASSERT_EQ(rows.size(), 2u) << out;
  // tsql prints through FreeTDS's own conversions; each field shows its wire type arrived.
  std::vector<std::string> fields;
  std::size_t start = 0;
  const std::string& r = rows[1];
  while (true) {
    const auto tab = r.find('\t', start);
    fields.push_back(r.substr(start, tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  ASSERT_EQ(fields.size(), 26u) << r;
  EXPECT_EQ(fields[0], "255");
  EXPECT_EQ(fields[1], "-32768");
  EXPECT_EQ(fields[2], "2147483647");
  EXPECT_EQ(fields[3], "-9223372036854775808");
  EXPECT_EQ(fields[4], "-123456789.125");
  EXPECT_EQ(fields[5], "99999999999999999999999999999999999999");
  EXPECT_EQ(fields[6], "-922337203685477.5808");
  EXPECT_EQ(fields[7], "214748.3647");
  EXPECT_EQ(fields[8].substr(0, 3), "0.1");
  EXPECT_EQ(fields[9], "1.5");
  // tsql prints dates and times to the minute.
  EXPECT_EQ(fields[10], "Feb 29 2024 11:59PM");
  EXPECT_EQ(fields[11], "Jun  6 2079 12:30PM");
  EXPECT_EQ(fields[12], "Jan  1 1 12:00AM");
  EXPECT_EQ(fields[13], "Jan  1 1900 01:14PM");
  EXPECT_EQ(fields[14], "ab  ");  // char NOT NULL is blank-padded
  EXPECT_EQ(fields[15], "x");     // varchar loses trailing blanks
  EXPECT_EQ(fields[16], "long text é");
  EXPECT_EQ(fields[17], "日本 ");  // unichar(3) padded
  EXPECT_EQ(fields[18], "Ünï");
  EXPECT_EQ(fields[19], "010200");
  EXPECT_EQ(fields[20], "00ff");
  EXPECT_EQ(fields[21], "cafe");
  EXPECT_EQ(fields[22], "1");
  EXPECT_EQ(fields[23], "ユニ text");
  EXPECT_EQ(fields[24], "wide");  // wider than 255: LONGCHAR
  EXPECT_EQ(fields[25], "abcd");
}

TEST_F(AseTestServerTest, UpdateAndDeleteFollowTheSameRules) {
  AseServerFixture server;
  const std::string out =
      Sql(server,
          "create table [U]([k] int, [v] varchar(10) null, [d] datetime)\ngo\n"
          "insert into U values(1, 'a', '2024-01-01')\ngo\n"
          "insert into U values(2, 'b', '2024-01-02')\ngo\n"
          "insert into U values(3, NULL, '2024-01-03')\ngo\n"
          "update U set v = 'changed', d = '2025-05-05 10:00' where k >= 2\ngo\n"
          "update U set k = 'x'\ngo\nupdate U set d = NULL\ngo\n"
          "delete from U where k = 1\ngo\n"
          "select k, v, d from U order by k\ngo\n");
  EXPECT_NE(out.find("(2 rows affected)"), std::string::npos) << out;
  EXPECT_TRUE(HasMessage(out, 257)) << out;
  EXPECT_TRUE(HasMessage(out, 233)) << out;
  const auto rows = RowLines(out);
  ASSERT_EQ(rows.size(), 3u) << out;
  EXPECT_EQ(rows[1], "2\tchanged\tMay  5 2025 10:00AM");
  EXPECT_EQ(rows[2], "3\tchanged\tMay  5 2025 10:00AM");
}

TEST_F(AseTestServerTest, EmptyTextIsStoredAsOneSpace) {
  AseServerFixture server;
  const auto rows = RowLines(Sql(server,
                                 "create table [E]([k] int, [v] varchar(5), [t] text)\ngo\n"
                                 "insert into [E] values(1, '', '')\ngo\n"
                                 "select k, v, t from E where v = ' '\ngo\n"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], "1\t \t ");
}

TEST_F(AseTestServerTest, SessionOptionsChangeWhatComesBack) {
  AseServerFixture server;
  const auto rows =
      RowLines(Sql(server,
                   "create table [L]([k] int, [t] text, [i] image)\ngo\n"
                   "insert into L values(1, 'abcdefghij', 0x0102030405)\ngo\n"
                   "set textsize 4\ngo\nselect k, t, i from L\ngo\n"
                   "set textsize 0\ngo\nselect k, t, i from L\ngo\n"
                   "select \"plain\", 'text'\ngo\n"
                   "set quoted_identifier on\ngo\nselect \"k\", \"k\" from \"L\"\ngo\n"));
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[1], "1\tabcd\t01020304");  // values cut at @@textsize
  EXPECT_EQ(rows[3], "1\tabcdefghij\t0102030405");
  EXPECT_EQ(rows[5], "plain\ttext");  // double quotes make a string by default
  EXPECT_EQ(rows[7], "1\t1");         // and a name after set quoted_identifier on
}

TEST_F(AseTestServerTest, CatalogueListsUserAndSystemTables) {
  AseServerFixture server;
  const auto rows =
      RowLines(Sql(server,
                   "create table [b_user]([x] int)\ngo\ncreate table [A_user]([x] int)\ngo\n"
                   "select name, type from sysobjects where type in ('U','S','V') order by name\n"
                   "go\n"));
  ASSERT_GT(rows.size(), 4u);
  EXPECT_EQ(rows[0], "name\ttype");
  EXPECT_EQ(rows[1], "A_user\tU ");  // binary order: upper case first
  EXPECT_EQ(rows[2], "b_user\tU ");
  EXPECT_NE(std::find(rows.begin(), rows.end(), "sysobjects\tS "), rows.end());
  const auto only_user = RowLines(
      Sql(server, "select name, id from sysobjects where type = 'U' order by name desc\ngo\n"));
  ASSERT_EQ(only_user.size(), 3u);
  EXPECT_EQ(only_user[1].substr(0, 7), "b_user\t");
  EXPECT_EQ(only_user[2].substr(0, 7), "A_user\t");
}

// A minimal TDS 5.0 client for the tests that must misbehave on the wire.
class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawClient() { ::close(fd_); }
  bool connected() const { return connected_; }

  void SendPacket(std::uint8_t type, const std::vector<std::uint8_t>& body, bool last) {
    std::vector<std::uint8_t> p{type,
                                static_cast<std::uint8_t>(last ? 1 : 0),
                                static_cast<std::uint8_t>((body.size() + 8) >> 8),
                                static_cast<std::uint8_t>(body.size() + 8),
                                0,
                                0,
                                0,
                                0};
    p.insert(p.end(), body.begin(), body.end());
    ASSERT_EQ(::send(fd_, p.data(), p.size(), MSG_NOSIGNAL), static_cast<ssize_t>(p.size()));
  }
  void Login(const std::string& user, const std::string& password) {
    std::vector<std::uint8_t> login(568, 0);
    auto field = [&](std::size_t at, const std::string& v) {
      std::copy(v.begin(), v.end(), login.begin() + static_cast<std::ptrdiff_t>(at));
      login[at + 30] = static_cast<std::uint8_t>(v.size());
    };
    field(31, user);
    field(62, password);
    login[458] = 5;
    SendPacket(0x02, login, true);
  }
  // True when some reply bytes arrive within the time.
  bool ReplyWithin(int milliseconds) {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, milliseconds) > 0;
  }
  // Reads one whole reply message; empty at end of stream.
  std::vector<std::uint8_t> ReadReply() {
    std::vector<std::uint8_t> out;
    while (true) {
      std::uint8_t header[8];
      if (!ReadExactly(header, 8)) return {};
      const std::size_t len = (std::size_t{header[2]} << 8) | header[3];
      std::vector<std::uint8_t> body(len - 8);
      if (!ReadExactly(body.data(), body.size())) return {};
      out.insert(out.end(), body.begin(), body.end());
      if (header[1] & 1) return out;
    }
  }
  static std::vector<std::uint8_t> Language(const std::string& sql) {
    std::vector<std::uint8_t> b{0x21};
    const std::uint32_t len = static_cast<std::uint32_t>(sql.size() + 1);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(len >> (8 * i)));
    b.push_back(0);
    b.insert(b.end(), sql.begin(), sql.end());
    return b;
  }

 private:
  bool ReadExactly(std::uint8_t* p, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
      const ssize_t r = ::recv(fd_, p + got, n - got, 0);
      if (r <= 0) return false;
      got += static_cast<std::size_t>(r);
    }
    return true;
  }
  int fd_ = -1;
  bool connected_ = false;
};

TEST_F(AseTestServerTest, ClientThatDropsMidStatementLosesOnlyThatStatement) {
  AseServerFixture server;
  Sql(server, "create table [D]([n] int)\ngo\ninsert into D values(1)\ngo\n");
  {
    // Half of a batch arrives, then the client goes away: nothing of it is applied.
    RawClient client(server.port());
    ASSERT_TRUE(client.connected());
    client.Login(server.user(), server.password());
    ASSERT_FALSE(client.ReadReply().empty());
    const auto message = RawClient::Language("insert into D values(2) insert into D values(3)");
    client.SendPacket(0x0F, std::vector<std::uint8_t>(message.begin(), message.begin() + 30),
                      false);
  }
  {
    // A whole statement sent, but the client leaves without reading the reply: applied whole.
    RawClient client(server.port());
    client.Login(server.user(), server.password());
    ASSERT_FALSE(client.ReadReply().empty());
    client.SendPacket(0x0F, RawClient::Language("insert into D values(4)"), true);
  }
  {
    // A truncated login record is refused like a wrong password, and the server hangs up.
    RawClient client(server.port());
    client.SendPacket(0x02, {1, 2, 3}, true);
    const auto reply = client.ReadReply();
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[0], 0xE5);
    EXPECT_TRUE(client.ReadReply().empty());
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto rows = RowLines(Sql(server, "select n, n from D order by n\ngo\n"));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], "1\t1");
  EXPECT_EQ(rows[2], "4\t4");
}

TEST_F(AseTestServerTest, InitScriptFillsAnEmptyDatabaseOnce) {
  AseServerOptions options;
  options.init_script = VQ_ASE_SAMPLE_SCRIPT;
  AseServerFixture server(options);
  const std::string count = "select count(*), count(*) from Customers\ngo\n";
  const auto rows = RowLines(Sql(server, count));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], "5\t5");
  server.Restart();  // the script does not run again over existing tables
  EXPECT_EQ(RowLines(Sql(server, count)), rows);
}

TEST_F(AseTestServerTest, AttentionCancelsAWaitingBatch) {
  AseServerFixture server;
  RawClient client(server.port());
  client.Login(server.user(), server.password());
  ASSERT_FALSE(client.ReadReply().empty());
  const auto start = std::chrono::steady_clock::now();
  client.SendPacket(0x0F, RawClient::Language("select 1 waitfor delay '00:00:20' select 2"), true);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  client.SendPacket(0x06, {}, true);
  const auto reply = client.ReadReply();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // Only the cancel acknowledgement: DONE with the attention bit.
  EXPECT_EQ(reply, (std::vector<std::uint8_t>{0xFD, 0x20, 0, 0, 0, 0, 0, 0, 0}));
  // The connection is still usable afterwards.
  client.SendPacket(0x0F, RawClient::Language("select 5"), true);
  const auto after = client.ReadReply();
  ASSERT_GE(after.size(), 9u);
  EXPECT_EQ(after[0], 0xEE);
  EXPECT_EQ(after[after.size() - 9], 0xFD);
}

TEST_F(AseTestServerTest, SilentServerAcceptsButNeverAnswers) {
  AseServerOptions options;
  options.silent = true;
  AseServerFixture server(options);
  const auto start = std::chrono::steady_clock::now();
  RawClient client(server.port());
  ASSERT_TRUE(client.connected());
  client.Login(server.user(), server.password());
  EXPECT_FALSE(client.ReplyWithin(500));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(450));
}

TEST_F(AseTestServerTest, GarbageOnTheWireEndsOnlyThatConnection) {
  AseServerFixture server;
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    RawClient client(server.port());
    client.Login(server.user(), server.password());
    ASSERT_FALSE(client.ReadReply().empty());
    std::vector<std::uint8_t> body(random() % 300);
    for (auto& b : body) b = static_cast<std::uint8_t>(random());
    if (round % 2 == 0 && !body.empty()) body[0] = 0x21;  // a LANGUAGE token with a wild length
    const std::uint8_t types[] = {0x0F, 0x01, 0x02, 0x06, 0x07, 0x12};
    client.SendPacket(types[round % 6], body, true);
    // The reply (an error, or a closed connection) does not matter here; the
    // server must survive it and keep serving others.
  }
  const auto rows = RowLines(Sql(server, "select 1, 2\ngo\n"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], "1\t2");
}

TEST_F(AseTestServerTest, StopsPromptlyWithClientsConnected) {
  AseServerFixture server;
  RawClient idle(server.port());
  idle.Login(server.user(), server.password());
  ASSERT_FALSE(idle.ReadReply().empty());
  const auto start = std::chrono::steady_clock::now();
  server.Stop();  // SIGTERM; the fixture would fall back to SIGKILL after 5 s
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_TRUE(idle.ReadReply().empty());  // the idle connection was closed
}

// The token kinds of a reply made of EED and DONE tokens: 0xE5 with the
// message number, 0xFD with the DONE status.
std::vector<std::pair<int, int>> EedAndDone(const std::vector<std::uint8_t>& reply) {
  std::vector<std::pair<int, int>> out;
  for (std::size_t i = 0; i < reply.size();) {
    if (reply[i] == 0xFD && i + 9 <= reply.size()) {
      out.emplace_back(0xFD, reply[i + 1] | (reply[i + 2] << 8));
      i += 9;
    } else if (reply[i] == 0xE5 && i + 7 <= reply.size()) {
      out.emplace_back(0xE5, reply[i + 3] | (reply[i + 4] << 8));
      i += 3 + (reply[i + 1] | (reply[i + 2] << 8));
    } else {
      out.emplace_back(reply[i], -1);  // not expected here
      break;
    }
  }
  return out;
}

TEST_F(AseTestServerTest, EachStatementOfABatchHasItsOwnDone) {
  AseServerFixture server;
  RawClient client(server.port());
  client.Login(server.user(), server.password());
  ASSERT_FALSE(client.ReadReply().empty());
  client.SendPacket(0x0F, RawClient::Language("create table T(i tinyint)"), true);
  client.ReadReply();

  // A failure that comes while running: its message, then its DONE with the
  // error bit, and the batch goes on; every DONE but the last says more follow.
  client.SendPacket(
      0x0F, RawClient::Language("insert T values(1) insert T values(300) insert T values(2)"),
      true);
  using P = std::vector<std::pair<int, int>>;
  EXPECT_EQ(EedAndDone(client.ReadReply()),
            (P{{0xFD, 0x11}, {0xE5, 220}, {0xFD, 0x03}, {0xFD, 0x10}}));

  // A statement that does not compile: one message and one DONE, nothing ran.
  client.SendPacket(
      0x0F, RawClient::Language("insert T values(3) insert T values('4') insert T values(5)"),
      true);
  EXPECT_EQ(EedAndDone(client.ReadReply()), (P{{0xE5, 257}, {0xFD, 0x02}}));
  client.SendPacket(0x0F, RawClient::Language("delete T"), true);
  EXPECT_EQ(EedAndDone(client.ReadReply()), (P{{0xFD, 0x10}}));
}

TEST_F(AseTestServerTest, RawLoginGetsLoginAckAndDone) {
  AseServerFixture server;
  RawClient good(server.port());
  good.Login(server.user(), server.password());
  const auto reply = good.ReadReply();
  ASSERT_GE(reply.size(), 9u);
  // LOGINACK with status 5 somewhere in the reply, and a final DONE at its end.
  const std::vector<std::uint8_t> ack{0xAD, 0x14, 0x00, 0x05, 0x05, 0x00, 0x00, 0x00};
  EXPECT_NE(std::search(reply.begin(), reply.end(), ack.begin(), ack.end()), reply.end());
  EXPECT_EQ(reply[reply.size() - 9], 0xFD);

  RawClient bad(server.port());
  bad.Login(server.user(), "nope");
  const auto refused = bad.ReadReply();
  const std::vector<std::uint8_t> nak{0xAD, 0x14, 0x00, 0x06};
  EXPECT_NE(std::search(refused.begin(), refused.end(), nak.begin(), nak.end()), refused.end());
  EXPECT_EQ(refused[0], 0xE5);  // EED 4002 first
  EXPECT_EQ(refused[3] | (refused[4] << 8), 4002);
  EXPECT_TRUE(bad.ReadReply().empty());  // and the server closes the connection
}

}  // namespace
}  // namespace vq::testing
