#!/usr/bin/env bash
# Instructions per I frame or MSU of each link on peer_bench's ring, under callgrind, the ring
# included: collection runs inside the pair's send and pass (the whole work of a frame: building
# it, the link on both ends, the copies into and out of the ring, the timers). Frames are the
# calls that reach layer 3. Ours run twice: handing Packet handles through the ring ("handles")
# and making the peers' copies into and out of it ("copies"). Takes the peer_bench program and,
# optionally, the drive (0 the window, 1 send 100 then drain; both when not given); prints one
# line per link, mode and drive. Then, from link_bench beside PEER_BENCH, the basic-rate network
# side with eight terminals on the S0 bus: collected inside the bus's pump (the exchange's I frame
# reaching all eight terminals, the one that takes it, and its acknowledgement back at the
# exchange), frames counted by the terminals' layer-3 calls.
#
# With --cache first, callgrind also simulates the data caches and each line adds the first-level
# (D1) and second-level (LL) data misses per frame, reads and writes together. The caches are
# fixed to one core of the machine these figures come from (32 KiB 8-way first level, 512 KiB
# 8-way second level, 64-byte lines) rather than what valgrind reads from the processor, which on
# a virtual machine can be anything (a 256 MiB direct-mapped "L3" here).
#
# Every run lasts a second of the benchmark's time, so that the packet pool has gone round many
# times (the misses of its first round, every block's first touch, weigh little) and the peers'
# heap has settled: libss7 takes each MSU from malloc, and in runs of a few thousand MSUs its
# count moves by some 4 % from run to run with the heap's state; over a second it stays within
# a few instructions.
#
# With KEEP_CALLGRIND=DIR in the environment, each run's callgrind output stays in DIR, named
# after its line (spaces and commas as '_'), for callgrind_annotate: the libss7 run's
# `callgrind_annotate --inclusive=yes` gives what its descriptor calls cost beside MTP2's own work.
set -euo pipefail
cache=()
min_time=1
if [ "${1:-}" = --cache ]; then
  cache=(--cache-sim=yes --D1=32768,8,64 --LL=524288,8,64)
  shift
fi
bench=${1:?usage: instructions_per_frame.sh [--cache] PEER_BENCH [DRIVE]}
drives=${2:-0 1}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# name | benchmark | copies | collected functions | layer-3 counter
links=(
  "ours LAPD, handles|BM_RingLapd|0|*LapdRingPair::send* *LapdRingPair::pass*|*LapdOwner::on_message*"
  "ours LAPD, copies|BM_RingLapd|1|*LapdRingPair::send* *LapdRingPair::pass*|*LapdOwner::on_message*"
  "libpri Q.921|BM_RingLibpri|1|*LibpriRingPair::send* *LibpriRingPair::pass*|__wrap_q931_receive"
  "ours SS7, handles|BM_RingSs7|0|*SlcRingPair::send* *SlcRingPair::pass*|SlcEnd::on_message*"
  "ours SS7, copies|BM_RingSs7|1|*SlcRingPair::send* *SlcRingPair::pass*|SlcEnd::on_message*"
  "libss7 MTP2|BM_RingLibss7|1|*Libss7RingPair::send* *Libss7RingPair::pass*|__wrap_mtp3_receive"
)
# measure NAME PROGRAM FILTER COLLECTED LAYER3
measure() {
  local name=$1 program=$2 filter=$3 collected=$4 layer3=$5 toggles=() f
  for f in $collected; do toggles+=("--toggle-collect=$f"); done
  valgrind --tool=callgrind "${cache[@]}" --collect-atstart=no "${toggles[@]}" --callgrind-out-file="$out/cg" \
    "$program" --benchmark_filter="$filter" --benchmark_min_time=$min_time >/dev/null 2>&1
  python3 - "$out/cg" "$name" "$layer3" <<'PY'
import fnmatch, re, sys
path, name, layer3 = sys.argv[1:]
names, frames, target, events, totals = {}, 0, None, [], []
for line in open(path, errors="replace"):
    if line.startswith("events:"):
        events = line.split()[1:]
        continue
    m = re.match(r"(c?fn)=\((\d+)\)(?: (.*))?", line)
    if m:
        if m.group(3): names[m.group(2)] = m.group(3).strip()
        target = names.get(m.group(2)) if m.group(1) == "cfn" else None
        continue
    m = re.match(r"calls=(\d+)", line)
    if m and target and fnmatch.fnmatch(target, layer3 + "*"):
        frames += int(m.group(1))
    m = re.match(r"(?:summary|totals):((?: \d+)+)", line)
    if m: totals = [int(v) for v in m.group(1).split()]
count = dict(zip(events, totals + [0] * (len(events) - len(totals))))
per = lambda *names: sum(count.get(n, 0) for n in names) / frames if frames else 0
line = f"{name}: {per('Ir'):.0f} instructions per frame"
if "D1mr" in count:
    line += f", D1 misses {per('D1mr', 'D1mw'):.2f}, LL misses {per('DLmr', 'DLmw'):.3f}"
print(f"{line} ({frames} frames)")
PY
  if [ -n "${KEEP_CALLGRIND:-}" ]; then
    mkdir -p "$KEEP_CALLGRIND"
    cp "$out/cg" "$KEEP_CALLGRIND/$(tr ' ,' '__' <<<"$name").cg"
  fi
}

for drive in $drives; do
  for link in "${links[@]}"; do
    IFS='|' read -r name filter copies collected layer3 <<<"$link"
    measure "$name, drive $drive" "$bench" "^${filter}/drive:${drive}/copies:${copies}\$" "$collected" \
      "$layer3"
  done
done
link_bench=$(dirname "$bench")/link_bench
if [ -x "$link_bench" ]; then
  measure "ours LAPD_NT, S0 bus of 8 terminals" "$link_bench" "^BM_LapdNtIFrames\$" "*S0Bus::pump*" \
    "*S0Bus::Terminal::on_message*"
fi
