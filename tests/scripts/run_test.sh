#!/usr/bin/env bash
# scripts/run and the daemon's arguments: those that detach the daemon are refused at once (the
# board stops with the script, so a detached daemon would be left on no board), those that only
# ask for the usage or version need no board, and the rest start both.
set -u
source_dir=$1
. "$source_dir/scripts/lib.sh"
failed=0

# ARGS | detaches | needs no board
cases=(
  "-D|yes|no"
  "-DD|yes|no"
  "-xD|yes|no"
  "--daemon|yes|no"
  "--dae|yes|no"
  "--port 20002 -D|yes|no"
  "-Dh|yes|yes"
  "-h -D|yes|yes"
  "--d|no|no"
  "--disable-clock|no|no"
  "--port 20002|no|no"
  "-- -D|no|no"
  "|no|no"
)
answer() { if "$@"; then echo yes; else echo no; fi; }
for c in "${cases[@]}"; do
  IFS='|' read -r args detaches no_board <<<"$c"
  read -ra argv <<<"$args"
  got="$(answer daemon_detaches "${argv[@]}")|$(answer daemon_needs_no_board "${argv[@]}")"
  if [ "$got" != "$detaches|$no_board" ]; then
    echo "FAIL '$args': detaches|no board is $got, expected $detaches|$no_board"
    failed=1
  fi
done

# scripts/run -D ends before it installs or builds anything: run from a copy holding only the
# scripts, where a build would fail at once.
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
mkdir "$copy/scripts"
cp "$source_dir/scripts/run" "$source_dir/scripts/lib.sh" "$copy/scripts/"
for args in "-D" "--port 20002 --daemon"; do
  read -ra argv <<<"$args"
  status=0
  err=$(timeout 60 bash "$copy/scripts/run" "${argv[@]}" 2>&1 >/dev/null </dev/null) || status=$?
  if [ $status -ne 2 ] || [[ $err != "scripts/run: -D is refused: "*"setsid -f scripts/run"* ]] ||
     [ -e "$copy/build" ] || [ -e "$copy/run" ]; then
    echo "FAIL scripts/run $args: status $status, build or run made: $(ls "$copy"), said: $err"
    failed=1
  fi
done

[ $failed -eq 0 ] && echo "scripts/run: all cases pass"
exit $failed
