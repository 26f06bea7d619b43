// The framer and network-interface records: the framer file's labels and values, and the
// smoothing of interface samples (also against the kernel, in a network namespace of its own).
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "monitoring/framer_data_holder.h"
#include "monitoring/net_if_data_holder.h"
#include "monitoring/net_if_probe.h"

namespace {

std::vector<unsigned char> bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string fields(const FramerDataHolder& f) {
  std::ostringstream out;
  out << f.state << "|" << f.connected << f.loss_of_signal << f.loss_of_frame_alignment << "|"
      << f.slips_negative << "|" << f.slips_positive;
  return out.str();
}

struct FramerCase {
  const char* name;
  std::vector<std::string> reads;  // one setFramerStatus per entry; the last one's result counts
  bool changed;
  const char* fields;
};

TEST(FramerDataHolderTest, LabelsAndValuesOfTheDriverFile) {
  const std::string state = FramerDataHolder::kStateLabel;
  const std::string los = FramerDataHolder::kSignalLossLabel;
  const std::string lofa = FramerDataHolder::kFrameAlignLossLabel;
  const std::string neg = FramerDataHolder::kSlipNegativeLabel;
  const std::string pos = FramerDataHolder::kSlipPositiveLabel;
  const FramerCase cases[] = {
      {"initial", {}, false, "absent|011|0|0"},
      {"no carrier", {state + "No Carrier\n"}, true, "No Carrier|011|0|0"},
      {"other state connects", {state + "Multiframe\n"}, true, "Multiframe|111|0|0"},
      {"same state again", {state + "Up", state + "Up"}, false, "Up|111|0|0"},
      {"loss yes at first", {los + "yes"}, false, "absent|011|0|0"},
      {"loss no clears", {los + "no\n" + lofa + "no\n"}, true, "absent|000|0|0"},
      {"slips", {neg + "12\n" + pos + "-3\n"}, true, "absent|011|12|-3"},
      {"slips with text", {neg + "12 frames"}, true, "absent|011|12|0"},
      {"empty slips", {neg}, false, "absent|011|0|0"},
      {"no label", {"Current state: Up\nnothing\n"}, false, "absent|011|0|0"},
      {"label after text", {"E1: " + state + "Up"}, true, "Up|111|0|0"},
      {"later line wins", {neg + "4\n" + neg + "7\n"}, true, "absent|011|7|0"},
      {"NUL ends the text",
       {neg + "5\n" + std::string(1, '\0') + pos + "9\n"},
       true,
       "absent|011|5|0"},
  };
  for (const FramerCase& c : cases) {
    FramerDataHolder f(2, "/proc/driver/hdlc/peb22554/1");
    bool changed = false;
    for (const std::string& r : c.reads) changed = f.setFramerStatus(bytes(r));
    EXPECT_EQ(changed, c.changed) << c.name;
    EXPECT_EQ(fields(f), c.fields) << c.name;
  }
}

TEST(NetIfDataHolderTest, RunningIsTheMajorityOfTheLastThreeSamples) {
  // sample -> (changed, running, admin status)
  const struct {
    int sample;
    bool changed;
    int running;
  } steps[] = {{1, true, 0},  {1, true, 1},  {1, false, 1}, {0, false, 1}, {1, false, 1},
               {1, false, 1}, {0, false, 1}, {0, true, 0},  {1, false, 0}, {1, true, 1}};
  NetIfDataHolder n(1000000, "eth0");
  EXPECT_EQ(n.running, -1);
  EXPECT_FALSE(n.updateNetIf()) << "no such interface: no sample";
  EXPECT_TRUE(n.samples.empty());
  int i = 0;
  for (const auto& s : steps) {
    EXPECT_EQ(n.setNetIfStatus(s.sample), s.changed) << "step " << i;
    EXPECT_EQ(n.running, s.running) << "step " << i;
    EXPECT_EQ(n.admin_status, s.running ? 1 : 2) << "step " << i;
    EXPECT_EQ(n.oper_status, n.admin_status) << "step " << i;
    EXPECT_LE(n.samples.size(), 3u);
    ++i;
  }
}

// The system's probe against a real interface: the loopback of a fresh network namespace starts
// down. Needs root (CAP_SYS_ADMIN) for the namespace and iproute2 for `ip`.
TEST(NetIfDataHolderTest, SystemProbeFollowsTheLoopbackOfANamespace) {
  if (::geteuid() != 0 || std::system("ip -V >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "needs root and ip";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::unshare(CLONE_NEWNET) != 0) ::_exit(77);
    std::string name;
    if (NetIfProbe::current().probe(1, &name, nullptr) != NetIfProbe::kOk || name != "lo")
      ::_exit(1);
    NetIfDataHolder lo(1, name);
    int faults = 0;
    faults += !(lo.updateNetIf() && lo.running == 0);
    faults += std::system("ip link set lo up") != 0;
    faults += lo.updateNetIf() || !lo.updateNetIf() || lo.running != 1;
    faults += std::system("ip link set lo down") != 0;
    faults += lo.updateNetIf() || !lo.updateNetIf() || lo.running != 0;
    faults += NetIfProbe::current().probe(16, &name, nullptr) == NetIfProbe::kOk;
    ::_exit(faults);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no network namespace";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
