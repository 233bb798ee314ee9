#!/usr/bin/env bash
# Runs a cross build's tests with ctest under wine, then runs again (up to
# twice) each test that failed for a reason of wine's own, and says so; any
# other failure stands.
#
#   scripts/ctest_under_wine.sh BUILD_DIR [ctest options]
#
# Wine's own reasons, as ctest reports them:
# - a time-out: a test whose wine has lost its server hangs until ctest's limit;
# - an end by a signal from outside (SIGQUIT, SIGKILL, SIGTERM, SIGHUP): wine
#   ends its processes with SIGQUIT when their server goes, while a crash of
#   the Windows program itself ends in an exit code, never a signal;
# - wine's messages in the test's output: "wine client error" (the server was
#   lost), "wineserver", or any other "wine: " line of wine's loader, except
#   "wine: Unhandled ...", which is a crash of our program;
# - a test with no output at all, or a GoogleTest case whose output stops at
#   its "[ RUN ]" line: the process vanished without a word, as wine's
#   processes do when their server is killed. Our own ways out print first
#   (GoogleTest "Running main()", a replay its input's name, a failed run its
#   message, an uncaught exception "terminate called", a crash wine's
#   "Unhandled" line).
# (The Windows step runs wine with WINEDEBUG=-all, so wine's "err:" channel
# lines never appear and are not looked for.)
# Such tests run again, one at a time on a fresh wine server, up to twice.
set -uo pipefail
build="$1"
shift
log="$build/ctest-wine.log"
details="$build/Testing/Temporary/LastTest.log"

ctest --test-dir "$build" --output-on-failure "$@" 2>&1 | tee "$log"
[ "${PIPESTATUS[0]}" -eq 0 ] && exit 0

# The output of one test, from ctest's detailed log.
test_output() {
  awk -v name="$1" '
    /^[0-9]+\/[0-9]+ Testing: / && substr($0, index($0, ": ") + 2) == name { state = 1; next }
    state == 1 && $0 == "Output:" { state = 2; getline; next }
    state == 2 && $0 == "<end of output>" { exit }
    state == 2 { print }
  ' "$details"
}

# The first line of wine's own in a test's output, if any.
wine_message() {
  test_output "$1" | awk '
    /wine client error|wineserver/ || (/wine: / && !/wine: Unhandled/) { print; exit }'
}

# Whether a test's output is empty or ends with a "[ RUN ]" line (blank
# lines aside).
vanished() {
  test_output "$1" | awk '
    /[^[:space:]]/ { last = $0 }
    END { exit (last == "" || last ~ /^\[ RUN      \]/) ? 0 : 1 }'
}

# Sorts the failures that ctest listed in $1 into retry_numbers (wine's own
# reasons, printed) and ours (any other).
sort_failures() {
  retry_numbers=()
  ours=()
  local number name status reason message
  while IFS=$'\t' read -r number name status; do
    reason=""
    if [ "$status" = "Timeout" ]; then
      reason="timed out"
    elif [[ "$status" =~ ^(SIGQUIT|SIGHUP|Subprocess\ killed|Subprocess\ terminated)$ ]]; then
      reason="ended by a signal: $status"
    else
      message="$(wine_message "$name")"
      if [ -n "$message" ]; then
        reason="wine: ${message:0:160}"
      elif vanished "$name"; then
        reason="the process vanished without a word"
      fi
    fi
    if [ -n "$reason" ]; then
      echo "retry: $name ($reason)"
      retry_numbers+=("$number")
    else
      ours+=("$name ($status)")
    fi
  done < <(sed -n '/^The following tests FAILED:/,/^$/p' "$1" |
             sed -nE 's/^[[:space:]]+([0-9]+) - (.*) \(([^()]*)\)$/\1\t\2\t\3/p')
}

# A server that dropped its clients can leave wine's background processes
# behind in a state where a later program hangs as it ends (seen: a retried
# test printed PASSED, then ran into ctest's limit). So the server goes
# whole, and a fresh one starts, with the prefix's processes, before a retry.
fresh_server() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true
  wine64 wineboot --init </dev/null >/dev/null 2>&1 || true
}

sort_failures "$log"
if [ "${#ours[@]}" -gt 0 ]; then
  echo "failed, not retried (not wine's own):"
  printf '  %s\n' "${ours[@]}"
  exit 1
fi
if [ "${#retry_numbers[@]}" -eq 0 ]; then
  echo "ctest failed, but no failed test was listed (see $log)"
  exit 1
fi
# Up to two retries, one test at a time on a fresh server: a test that fails
# for a reason of its own in a retry fails the step at once.
retry_log="$build/ctest-wine-retry.log"
for round in 1 2; do
  fresh_server
  echo "== retry $round: ${#retry_numbers[@]} test(s) that failed for wine's own reasons"
  list="$(IFS=,; echo "${retry_numbers[*]}")"
  ctest --test-dir "$build" --output-on-failure "$@" -j 1 -I "0,0,0,$list" 2>&1 | tee "$retry_log"
  [ "${PIPESTATUS[0]}" -eq 0 ] && exit 0
  sort_failures "$retry_log"
  if [ "${#ours[@]}" -gt 0 ]; then
    echo "failed in a retry, not for wine's own reasons:"
    printf '  %s\n' "${ours[@]}"
    exit 1
  fi
  [ "${#retry_numbers[@]}" -eq 0 ] && exit 1
done
echo "failed for wine's own reasons in every retry"
exit 1
