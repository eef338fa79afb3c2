// Unit test fixture: a program home (see program_home.h) with database and event log helpers,
// a UDP peer, and the SNMP names the codec, agent and trap intake tests share.
#pragma once
#include <asio/ip/udp.hpp>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/database.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/snmp/snmp_message.h"
#include "support/program_home.h"

namespace varnel::testing {

using Texts = std::vector<std::string>;
using snmp::Message;
using snmp::Variable;
namespace vt = snmp::vt;
namespace es = snmp::es;

// A v2c message of this PDU type and community from 127.0.0.1.
inline Message V2c(int pduType, std::vector<Variable> vars, const std::string& community = "") {
  Message m;
  m.version = snmp::kVersion2c;
  m.pduType = pduType;
  m.community = community;
  m.variables = std::move(vars);
  m.senderAddress = "127.0.0.1";
  return m;
}

// Turns io in short slices until done() holds or ms have passed; whether done() holds.
inline bool PumpUntil(asio::io_context& io, const std::function<bool()>& done, int ms = 2000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done() && std::chrono::steady_clock::now() < end) {
    if (io.stopped()) io.restart();
    io.run_for(std::chrono::milliseconds(5));
  }
  return done();
}

// A UDP socket on 127.0.0.1 for tests that talk to the service's SNMP sockets while the
// service's event loop turns.
class UdpPeer {
 public:
  explicit UdpPeer(asio::io_context& io) : io_(io), socket_(io, {Loopback(), 0}) {
    socket_.non_blocking(true);
  }
  int Port() const { return socket_.local_endpoint().port(); }
  void SendTo(int port, const std::string& data) {
    socket_.send_to(asio::buffer(data), {Loopback(), static_cast<unsigned short>(port)});
  }
  // The next datagram, turning io in short slices for up to ms; nothing when none came.
  std::optional<std::string> Receive(int ms = 2000) {
    std::string buf(70000, '\0');
    std::optional<std::string> got;
    PumpUntil(
        io_,
        [&] {
          asio::error_code ec;
          std::size_t n = socket_.receive(asio::buffer(buf), 0, ec);
          if (!ec) got = buf.substr(0, n);
          return got.has_value();
        },
        ms);
    return got;
  }

 private:
  static asio::ip::address Loopback() { return asio::ip::address_v4::loopback(); }
  asio::io_context& io_;
  asio::ip::udp::socket socket_;
};

class VarnelTest : public ::testing::Test, protected ProgramHome {
 protected:
  Database Db() { return Database(ctx.DatabasePath()); }
  // Sets one column of the first row of a single-row table.
  void SetColumn(const std::string& table, const std::string& column, const std::string& value) {
    Database db = Db();
    Table t = db.Open(table);
    t.Set(column, value);
    t.Update();
  }
  std::string GetColumn(const std::string& table, const std::string& column) {
    Database db = Db();
    return db.Open(table).Text(column);
  }
  // One column of every row of a table, in row order.
  std::vector<std::string> Column(const std::string& table, const std::string& column) {
    Database db = Db();
    std::vector<std::string> out;
    for (Table t = db.Open(table); !t.Eof(); t.MoveNext()) out.push_back(t.Text(column));
    return out;
  }
  void AddRow(const std::string& table, const std::map<std::string, std::string>& columns) {
    Database db = Db();
    Table t = db.Open(table);
    t.AddNew();
    for (const auto& [column, value] : columns) t.Set(column, value);
    t.Update();
  }
  void Update(const std::string& table, const std::string& assignments) {
    Db().Exec("UPDATE " + table + " SET " + assignments);
  }
  std::vector<std::string> EventTexts() const {
    std::vector<std::string> out;
    for (int i = 1; i <= ctx.events.Count(); ++i) out.push_back(ctx.events[i].Message);
    return out;
  }
  // Event log entries with this id, as their texts.
  std::vector<std::string> Entries(int id) const {
    std::vector<std::string> out;
    for (const auto& e : log.entries)
      if (e.id == id) out.push_back(e.text);
    return out;
  }
};

// The number of the VarnelError that f raises, or 0 when it raises none.
inline int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const VarnelError& e) {
    return e.Number();
  }
  return 0;
}

}  // namespace varnel::testing
