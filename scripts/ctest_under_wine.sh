#!/usr/bin/env bash
# Runs a cross build's tests with ctest under wine, then runs once more each
# test that failed for a reason of wine's own, and says so; any other failure
# stands, and so does a test that fails its retry.
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

# ctest's list of failures: "<tab>  12 - Suite.Name (Failed)".
retry_numbers=()
ours=()
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
done < <(sed -n '/^The following tests FAILED:/,/^$/p' "$log" |
           sed -nE 's/^[[:space:]]+([0-9]+) - (.*) \(([^()]*)\)$/\1\t\2\t\3/p')

status=0
if [ "${#retry_numbers[@]}" -gt 0 ]; then
  # A lost server is started again by the next wine; keep it up for the retries.
  wineserver -p >/dev/null 2>&1 || true
  echo "== retrying ${#retry_numbers[@]} test(s) that failed for wine's own reasons"
  list="$(IFS=,; echo "${retry_numbers[*]}")"
  ctest --test-dir "$build" --output-on-failure "$@" -I "0,0,0,$list" || status=1
fi
if [ "${#ours[@]}" -gt 0 ]; then
  echo "failed, not retried (not wine's own):"
  printf '  %s\n' "${ours[@]}"
  status=1
elif [ "${#retry_numbers[@]}" -eq 0 ]; then
  echo "ctest failed, but no failed test was listed (see $log)"
  status=1
fi
exit "$status"
