#!/usr/bin/env bash
# Instructions per I frame or MSU of each link under callgrind, without the wire: collection runs
# only inside the links' entry points (none of which calls another) and stops while a frame is on
# the wire. Frames are the calls that reach layer 3. Takes the peer_bench program; prints one line per link.
set -euo pipefail
bench=${1:?usage: instructions_per_frame.sh PEER_BENCH}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# name | benchmark | entry points (collected) | wire calls (not collected) | layer-3 counter
links=(
  "ours LAPD|BM_LapdIFrames|ISDN::LAPD::message(Packet&) *ISDN::LAPD::on_hdlc_receive(Packet&) ISDN::LAPD::expire(ISDN::LAPD::TimerId) ISDN::LAPD::on_hdlc_ready()|HdlcWire::End::hdlc_transmit(Packet&)|*LapdOwner::on_message*"
  "libpri Q.921|BM_LibpriIFrames|q921_transmit_iframe pri_check_event pri_schedule_run|*wire_write* *wire_read*|__wrap_q931_receive"
  "ours SS7|BM_Ss7Msus/loss_per_mille:0|SS7::SLC::message(Packet&) SS7::SLC::receive(Packet&) SS7::SLC::on_hdlc_ready() SS7::SLC::on_t?()|HdlcWire::End::hdlc_transmit(Packet&)|SlcEnd::on_message*"
  "libss7 MTP2|BM_Libss7Msus|mtp2_msu ss7_read ss7_write ss7_schedule_run|__wrap_write __wrap_read|__wrap_mtp3_receive"
)
for link in "${links[@]}"; do
  IFS='|' read -r name filter entries wire layer3 <<<"$link"
  toggles=()
  for f in $entries $wire; do toggles+=("--toggle-collect=$f"); done
  valgrind --tool=callgrind --collect-atstart=no "${toggles[@]}" --callgrind-out-file="$out/cg" \
    "$bench" --benchmark_filter="^${filter}\$" --benchmark_min_time=0.2 >/dev/null 2>&1
  python3 - "$out/cg" "$name" "$layer3" <<'PY'
import fnmatch, re, sys
path, name, layer3 = sys.argv[1:]
names, total, frames, target = {}, 0, 0, None
for line in open(path, errors="replace"):
    m = re.match(r"(c?fn)=\((\d+)\)(?: (.*))?", line)
    if m:
        if m.group(3): names[m.group(2)] = m.group(3).strip()
        target = names.get(m.group(2)) if m.group(1) == "cfn" else None
        continue
    m = re.match(r"calls=(\d+)", line)
    if m and target and fnmatch.fnmatch(target, layer3 + "*"):
        frames += int(m.group(1))
    m = re.match(r"summary: (\d+)", line) or re.match(r"totals: (\d+)", line)
    if m: total = int(m.group(1))
print(f"{name}: {total / frames if frames else 0:.0f} instructions per frame ({frames} frames)")
PY
done
