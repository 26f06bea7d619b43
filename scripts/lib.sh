# Shared by the scripts: install missing Debian packages and configure a build folder.
# Sourced, not run.

# ensure_packages PKG...: apt-get install those not installed (needs root on a fresh machine).
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What building anything needs.
BUILD_PACKAGES=(cmake ninja-build g++ python3 libboost-dev libloki-dev libsnmp-dev)
# What the tests add: GoogleTest, clang with its sanitizer and fuzzer runtime, tshark, snmptrapd
# and ip (peers and checks of the monitoring tests), sox (announcement files), ppp (pppd reads
# the modem slots' command lines), libpri and libss7 (Q.921 and MTP2 peers of the link tests).
TEST_PACKAGES=(googletest libgtest-dev libgmock-dev clang libclang-rt-14-dev tshark faketime snmptrapd iproute2
               sox ppp libpri-dev libss7-dev)
# The benchmarks add Google Benchmark, valgrind (callgrind) and libpri and libss7, the peers that
# peer_bench runs beside our link layers.
BENCH_PACKAGES=(libbenchmark-dev valgrind libpri-dev libss7-dev)

# configure DIR ARGS...: configure a Ninja build in DIR unless it already is.
configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

# failed_outputs DIR: the whole output of each test that failed in the last ctest run in DIR,
# again, so that the end of a long log says why.
failed_outputs() {
  local log=$1/Testing/Temporary/LastTest.log
  [ -f "$log" ] || return 0
  awk '
    /^[0-9]+\/[0-9]+ Testing: / { block = ""; failed = 0 }
    { block = block $0 "\n" }
    /^Test Failed\./ { failed = 1 }
    / time elapsed: / { if (failed) printf "%s", block; failed = 0; block = "" }
  ' "$log"
}

# daemon_needs_no_board ARGS...: whether orvexd, given ARGS, only prints its usage or version
# and ends: -h or a cluster of short options holding h, or --help or --version (or a prefix of
# either, as getopt_long takes one). Anything after "--" is not an option.
daemon_needs_no_board() {
  local a
  for a in "$@"; do
    case $a in
      --) return 1 ;;
      --h* | --v* | -h* | -[!-]*h*) return 0 ;;
    esac
  done
  return 1
}

# daemon_detaches ARGS...: whether orvexd, given ARGS, detaches itself: -D or a cluster of short
# options holding D, or --daemon (or a prefix of it that getopt_long takes, from --da). Anything
# after "--" is not an option.
daemon_detaches() {
  local a
  for a in "$@"; do
    case $a in
      --) return 1 ;;
      --da | --dae | --daem | --daemo | --daemon | -D* | -[!-]*D*) return 0 ;;
    esac
  done
  return 1
}
