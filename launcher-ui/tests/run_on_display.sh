#!/bin/sh
# Runs a test program on a virtual display of its own (xvfb-run); without xvfb-run the program
# runs as it is and its window tests skip. Each run picks its display numbers from a start of
# its own, so parallel runs do not race for the same number.
if command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -n $((100 + $$ % 900)) -s "-screen 0 1280x1024x24 -dpi 96 -nolisten tcp" "$@"
fi
exec "$@"
