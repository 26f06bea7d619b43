// The SNMPv2c trap packer: its bytes, request ids and states, and a packed trap read by
// tshark's SNMP dissector and received by Debian's snmptrapd.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/fd.h"
#include "monitoring/snmp_trap.h"
#include "tests/support/command_output.h"
#include "tests/support/temp_root.h"
#include "tools/orvex-ctl/lib/hex.h"

// After net-snmp's configuration, which snmp_trap.h includes.
#include <net-snmp/library/asn1.h>

namespace {

std::string hex(const trap_context& ctx) {
  return Ctl::to_hex(std::vector<char>(ctx.buffer, ctx.buffer + ctx.packed_length));
}

// A trap of sysUpTime.0 and snmpTrapOID.0 (coldStart) with `community`.
void pack_cold_start(trap_context& ctx, const char* community) {
  static const oid uptime_oid[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
  static const oid trap_oid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
  static const oid cold_start[] = {1, 3, 6, 1, 6, 3, 1, 1, 5, 1};
  ASSERT_EQ(trap_init(&ctx, community), 0);
  ASSERT_EQ(trap_pack_begin(&ctx), 0);
  const u_long ticks = get_uptime();
  ASSERT_EQ(trap_pack_add(&ctx, uptime_oid, 9, ASN_TIMETICKS, &ticks, sizeof ticks), 0);
  ASSERT_EQ(trap_pack_add(&ctx, trap_oid, 11, ASN_OBJECT_ID, cold_start, sizeof cold_start), 0);
  ASSERT_EQ(trap_pack_end(&ctx), 0);
}

TEST(TrapPacker, EmptyTrapBytesRequestIdsAndStates) {
  trap_context ctx;
  snmp_session_seed(&ctx, 0);
  EXPECT_EQ(trap_init(&ctx, nullptr), 0);
  EXPECT_EQ(ctx.request_id, 991873);
  EXPECT_EQ(trap_pack_end(&ctx), -1);
  ASSERT_EQ(trap_pack_begin(&ctx), 0);
  EXPECT_EQ(trap_pack_begin(&ctx), -1);
  ASSERT_EQ(trap_pack_end(&ctx), 0);
  EXPECT_EQ(ctx.packed_length, 34u);
  EXPECT_EQ(hex(ctx), "3082001E02010104067665726D6F6CA782000F02030F228102010002010030820000");
  const long one = 1;
  const oid name[] = {1, 3};
  EXPECT_EQ(trap_pack_add(&ctx, name, 2, ASN_INTEGER, &one, sizeof one), -1);

  EXPECT_EQ(trap_init(&ctx, "0123456789012345678901234567890123456789"), 0);
  EXPECT_EQ(ctx.request_id, 1288378715);
  EXPECT_EQ(std::string(ctx.community), "0123456789012345678901234567890");
  EXPECT_EQ(trap_init(&ctx, ""), 0);
  EXPECT_EQ(ctx.request_id, 595532581);
  EXPECT_EQ(trap_init(nullptr, nullptr), 0);
  EXPECT_EQ(ctx.packed_length, 0u);

  oid parts[4] = {};
  EXPECT_EQ(parse_oid(parts, 3, "1.3.6.1"), 3);
  EXPECT_EQ(std::vector<oid>(parts, parts + 4), (std::vector<oid>{1, 3, 6, 0}));
  EXPECT_EQ(parse_oid(parts, 4, "..7..8."), 2);
  EXPECT_EQ(parse_oid(parts, 0, "1"), 0);
  EXPECT_EQ(parse_oid(nullptr, 2, "1"), 0);
  EXPECT_EQ(parse_oid(parts, 2, nullptr), 0);
  EXPECT_LE(get_uptime(), get_uptime());
}

// A UDP port of 127.0.0.1 that nothing is bound to right now.
unsigned short free_udp_port() {
  Fd probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof at;
  if (::bind(probe.get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
      ::getsockname(probe.get(), reinterpret_cast<sockaddr*>(&at), &size) != 0)
    return 0;
  return ntohs(at.sin_port);
}

// The trap sent to 127.0.0.1 as a pcap file for tshark and over UDP to snmptrapd.
TEST(TrapPacker, TsharkAndSnmptrapdReadAPackedTrap) {
  if (std::system("tshark -v >/dev/null 2>&1") != 0 || ::access("/usr/sbin/snmptrapd", X_OK) != 0)
    GTEST_SKIP() << "needs tshark and snmptrapd";
  TempRoot dir;
  trap_context ctx;
  snmp_session_seed(&ctx, 7);
  pack_cold_start(ctx, "vermol");
  // text2pcap puts the bytes in a UDP datagram from 127.0.0.1 to 127.0.0.1 port 162.
  std::string dump = "000000";
  for (unsigned i = 0; i < ctx.packed_length; ++i) dump += " " + hex(ctx).substr(2 * i, 2);
  const std::string trap = dir.path() + "/trap";
  std::ofstream(trap + ".txt") << dump << "\n";
  output_of("text2pcap -q -4 127.0.0.1,127.0.0.1 -u 10000,162 " + trap + ".txt " + trap + ".pcap");
  EXPECT_EQ(output_of("tshark -r " + trap +
                      ".pcap -T fields -e snmp.version -e snmp.community -e snmp.data "
                      "-e snmp.request_id -e snmp.name"),
            "1\tvermol\t7\t" + std::to_string(ctx.request_id) +
                "\t1.3.6.1.2.1.1.3.0,1.3.6.1.6.3.1.1.4.1.0\n");

  const std::string port = std::to_string(free_udp_port());
  std::ofstream(dir.path() + "/trapd.conf") << "disableAuthorization yes\n";
  const std::string log = dir.path() + "/trapd.log";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::freopen(log.c_str(), "w", stdout);
    ::execl("/usr/sbin/snmptrapd", "snmptrapd", "-f", "-Lo", "-n", "-C", "-c",
            (dir.path() + "/trapd.conf").c_str(), ("udp:127.0.0.1:" + port).c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Sent until snmptrapd, which may still be starting, logs it.
  Fd sender(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(uint16_t(std::stoi(port)));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string text;
  for (int i = 0; i < 100 && text.find("3.6.1.6.3.1.1.5.1") == std::string::npos; ++i) {
    ::sendto(sender.get(), ctx.buffer, ctx.packed_length, 0, reinterpret_cast<sockaddr*>(&to),
             sizeof to);
    ::usleep(100000);
    text = read_file(log);
  }
  ::kill(child, SIGTERM);
  ::waitpid(child, nullptr, 0);
  EXPECT_NE(text.find("[127.0.0.1]"), std::string::npos) << text;
  EXPECT_NE(text.find("OID: iso.3.6.1.6.3.1.1.5.1"), std::string::npos) << text;
}

}  // namespace
