#!/bin/sh
# Starts Wine's Schedule service once in the test run's prefix, before the tests that use it.
# In a fresh prefix the first starts fail ("Service database locked", then "Service request
# timeout"), and a manager that failed once keeps failing until Wine's service processes
# end, which happens when no program of the session runs. So each attempt is a program of
# its own, tried again until one start succeeds (bounded).
#   start-schedule.sh WINE-RUN
wine_run="$1"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
for attempt in $(seq 1 60); do
  # Output to a file: Wine's service processes may keep it open after net ends.
  timeout 60 "$wine_run" net start schedule </dev/null >"$log" 2>&1
  if grep -q -e "started successfully" -e "already running" "$log"; then
    echo "Schedule service started (attempt $attempt)"
    exit 0
  fi
  sleep 3
done
echo "Schedule service could not be started:"
cat "$log"
exit 1
