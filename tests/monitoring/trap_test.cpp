// The SNMPv2c trap packer: its bytes, request ids and states, and a packed trap read by
// tshark's SNMP dissector.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

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

// The trap sent to 127.0.0.1, as a pcap file for tshark.
TEST(TrapPacker, TsharkReadsAPackedTrap) {
  if (std::system("tshark -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "needs tshark";
  TempRoot dir;
  trap_context ctx;
  snmp_session_seed(&ctx, 7);
  // sysUpTime.0 and snmpTrapOID.0 (coldStart).
  static const oid uptime_oid[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
  static const oid trap_oid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
  static const oid cold_start[] = {1, 3, 6, 1, 6, 3, 1, 1, 5, 1};
  ASSERT_EQ(trap_init(&ctx, "vermol"), 0);
  ASSERT_EQ(trap_pack_begin(&ctx), 0);
  const u_long ticks = get_uptime();
  ASSERT_EQ(trap_pack_add(&ctx, uptime_oid, 9, ASN_TIMETICKS, &ticks, sizeof ticks), 0);
  ASSERT_EQ(trap_pack_add(&ctx, trap_oid, 11, ASN_OBJECT_ID, cold_start, sizeof cold_start), 0);
  ASSERT_EQ(trap_pack_end(&ctx), 0);
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

}

}  // namespace
