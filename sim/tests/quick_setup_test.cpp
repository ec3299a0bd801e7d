// Quick Setup against the printer, variable by variable: a file received
// from one printer with request 78 and sent to another with request 79.
#include <gtest/gtest.h>

#include <span>

#include "hex_bytes.h"
#include "quick_setup_vars.h"
#include "sim/printer/npa.h"
#include "sim/printer/printer.h"

namespace wf::sim {
namespace {

using wf::testing::hex;
using wf::testing::toHex;

Profile loadShippedProfile(const char* name) {
  std::string error;
  auto p = loadProfile(std::string(WF_SIM_PROFILE_DIR) + "/" + name, &error);
  EXPECT_TRUE(p) << error;
  return p ? *p : Profile{};
}

std::string nameBytes(std::uint16_t var) {
  return {static_cast<char>(var >> 8), static_cast<char>(var & 0xFF)};
}

// One request (after the sync packet, as to an AUTO printer), one reply packet.
std::optional<npa::Packet> ask(PrinterModel& printer, std::string_view data) {
  std::string reply;
  for (const auto& o : printer.receive(std::string(npa::kSyncPacket) + npa::encode(0x50, 0xE0, data)))
    reply += o.bytes;
  if (npa::packetSize(reply) != reply.size()) return std::nullopt;
  return npa::decode(reply);
}

// Header, then per variable "hi lo value :" (a value's own final ':' makes "::").
std::string receiveFile(PrinterModel& printer, const std::string& header,
                        std::span<const std::uint16_t> vars) {
  std::string file = header;
  for (auto var : vars) {
    auto reply = ask(printer, "\xE7" + std::string(1, '\0') + nameBytes(var));
    EXPECT_TRUE(reply && reply->flags == 0 && reply->command == 0xE0) << std::hex << var;
    if (!reply) continue;
    const std::string r = reply->data.substr(1);  // the host drops DATA[0]
    EXPECT_EQ(toHex(r.substr(0, 3)), toHex('\0' + nameBytes(var))) << "R[1..2] echo the name";
    file += nameBytes(var) + r.substr(3) + ':';
  }
  return file;
}

// Every record of the file set with request 79; the number of records sent.
int sendFile(PrinterModel& printer, std::string_view file, const std::string& header) {
  EXPECT_TRUE(file.starts_with(header));
  file.remove_prefix(header.size());
  int sent = 0;
  while (file.size() >= 3) {
    const std::string name(file.substr(0, 2));
    auto end = file.find(':', 2);
    if (end == std::string_view::npos) break;
    std::size_t valueEnd = end;
    if (end + 1 < file.size() && file[end + 1] == ':') ++valueEnd, ++end;
    const std::string value(file.substr(2, valueEnd - 2));
    auto reply = ask(printer, "\xE7\x01" + name + value);
    EXPECT_TRUE(reply && reply->flags == 0) << toHex(name);
    if (reply) {
      EXPECT_EQ(toHex(reply->data), toHex("\xE7\x01" + name));
    }
    file.remove_prefix(end + 1);
    ++sent;
  }
  EXPECT_TRUE(file.empty()) << toHex(file);
  return sent;
}

TEST(QuickSetup, FileRoundTripsBetweenTwoPrintersOfEachType) {
  const struct {
    const char* profile;
    const char* header;
    std::span<const std::uint16_t> vars;
  } cases[] = {
      {"generic-7301.profile", "BIDI", testing::kBidiVars},
      {"meridian-vireo10.profile", "MERBIDI", testing::kMerBidiVars},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.profile);
    PrinterModel source(loadShippedProfile(c.profile));
    const std::string file = receiveFile(source, c.header, c.vars);
    // The value of 0x0037 ends in ':', so its record ends "::".
    EXPECT_NE(file.find(nameBytes(0x0037) + source.state().omVars.at(0x0037) + ":"), std::string::npos);
    EXPECT_TRUE(source.state().omVars.at(0x0037).ends_with(':'));

    Profile blank = loadShippedProfile(c.profile);
    for (auto var : c.vars) blank.omVars[var] = "?";
    PrinterModel target(blank);
    EXPECT_EQ(sendFile(target, file, c.header), static_cast<int>(c.vars.size()));
    for (auto var : c.vars)
      EXPECT_EQ(target.state().omVars.at(var), source.state().omVars.at(var)) << std::hex << var;
  }
}

TEST(QuickSetup, StartOfATypeZeroFile) {
  PrinterModel printer(loadShippedProfile("generic-7301.profile"));
  printer.update([](Profile& p) {
    p.omVars[0x0030] = "\x01";
    p.omVars[0x0031] = "LETTER";
  });
  const std::string file = receiveFile(printer, "BIDI", std::span(testing::kBidiVars).first(2));
  EXPECT_EQ(toHex(file), "42 49 44 49 00 30 01 3A 00 31 4C 45 54 54 45 52 3A");
}

TEST(QuickSetup, PanelLockIsAnOmVariable) {
  PrinterModel printer(loadShippedProfile("meridian-vireo10.profile"));
  auto lock = ask(printer, hex("E7 01 00 4D 01"));
  ASSERT_TRUE(lock);
  EXPECT_EQ(lock->flags, 0);
  auto read = ask(printer, hex("E7 00 00 4D"));
  ASSERT_TRUE(read);
  EXPECT_EQ(toHex(read->data), "E7 00 00 4D 01");
}

}  // namespace
}  // namespace wf::sim
