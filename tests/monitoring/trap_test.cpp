// The SNMPv2c trap packer: its bytes, request ids and states, and a packed trap read by
// tshark's SNMP dissector and received by Debian's snmptrapd.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "monitoring/snmp_trap.h"

#include <net-snmp/library/asn1.h>
#include "tests/support/loopback.h"
#include "tests/support/temp_root.h"

namespace {

std::string hex(const trap_context& ctx) {
  std::string out;
  char two[3];
  for (unsigned i = 0; i < ctx.packed_length; ++i) {
    std::snprintf(two, sizeof two, "%02x", ctx.buffer[i]);
    out += two;
  }
  return out;
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
  EXPECT_EQ(hex(ctx), "3082001e02010104067665726d6f6ca782000f02030f2281020100020100308200" "00");
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

// The trap in a pcap file of raw IPv4 (LINKTYPE_RAW), as sent to 127.0.0.1 port 162.
void write_pcap(const std::string& path, const trap_context& ctx) {
  std::string udp(8, '\0');
  const uint16_t udp_length = htons(uint16_t(8 + ctx.packed_length));
  udp[0] = char(0x30), udp[1] = char(0x39), udp[2] = 0, udp[3] = char(162);
  std::memcpy(&udp[4], &udp_length, 2);
  udp.append(reinterpret_cast<const char*>(ctx.buffer), ctx.packed_length);
  std::string ip = {0x45, 0, 0, 0, 0, 0, 0x40, 0, 64, 17, 0, 0, 127, 0, 0, 1, 127, 0, 0, 1};
  const uint16_t total = htons(uint16_t(20 + udp.size()));
  std::memcpy(&ip[2], &total, 2);
  const std::string packet = ip + udp;
  const uint32_t file_header[] = {0xa1b2c3d4, 0x00040002, 0, 0, 65535, 101};
  const uint32_t record[] = {0, 0, uint32_t(packet.size()), uint32_t(packet.size())};
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file_header), sizeof file_header);
  out.write(reinterpret_cast<const char*>(record), sizeof record);
  out << packet;
}

std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  ::pclose(pipe);
  return out;
}

TEST(TrapPacker, TsharkDissectsAPackedTrap) {
  if (std::system("tshark -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tshark";
  TempRoot dir;
  trap_context ctx;
  snmp_session_seed(&ctx, 7);
  pack_cold_start(ctx, "vermol");
  write_pcap(dir.path() + "/trap.pcap", ctx);
  const std::string fields = run("tshark -r " + dir.path() + "/trap.pcap -d udp.port==162,snmp -T fields "
                                 "-e snmp.version -e snmp.community -e snmp.data -e snmp.request_id "
                                 "-e snmp.name 2>/dev/null");
  EXPECT_EQ(fields, "1\tvermol\t7\t" + std::to_string(ctx.request_id) +
                        "\t1.3.6.1.2.1.1.3.0,1.3.6.1.6.3.1.1.4.1.0\n");
}

TEST(TrapPacker, SnmptrapdLogsAPackedTrap) {
  if (::access("/usr/sbin/snmptrapd", X_OK) != 0) GTEST_SKIP() << "no snmptrapd";
  TempRoot dir;
  const std::string conf = dir.path() + "/snmptrapd.conf";
  std::ofstream(conf) << "disableAuthorization yes\n";
  const std::string log = dir.path() + "/trapd.log";
  // A free UDP port: bind port 0, read it, and give it to snmptrapd.
  int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof to;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
  ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&to), &size), 0);
  ::close(probe);
  const std::string port = std::to_string(ntohs(to.sin_port));

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::freopen(log.c_str(), "w", stdout);
    std::freopen(log.c_str(), "a", stderr);
    ::execl("/usr/sbin/snmptrapd", "snmptrapd", "-f", "-Lo", "-n", "-C", "-c", conf.c_str(),
            ("udp:127.0.0.1:" + port).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  trap_context ctx;
  snmp_session_seed(&ctx, 1);
  pack_cold_start(ctx, "vermol");
  int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (text.find("coldStart") == std::string::npos && text.find("3.6.1.6.3.1.1.5.1") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    ::sendto(sender, ctx.buffer, ctx.packed_length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    ::usleep(100000);
    text = read_file(log);
  }
  ::close(sender);
  ::kill(child, SIGTERM);
  ::waitpid(child, nullptr, 0);
  EXPECT_NE(text.find("127.0.0.1"), std::string::npos) << text;
  EXPECT_TRUE(text.find("coldStart") != std::string::npos || text.find("3.6.1.6.3.1.1.5.1") != std::string::npos)
      << text;
}

}  // namespace
