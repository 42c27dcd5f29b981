#!/usr/bin/env bash
# The fuzz tier: every fuzz target for about 20 seconds (or SECONDS).
# Last line: "fuzz: N passed, M failed" (N, M count targets); non-zero exit on a finding.
exec bash "$(dirname "$0")/fuzz.sh" "${1:-20}"
