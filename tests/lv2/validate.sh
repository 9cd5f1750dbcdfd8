#!/usr/bin/env bash
# lv2_validate on the built bundle's descriptions: no error, no warning.
set -euo pipefail
bundle="$1"
out="$(lv2_validate "$bundle"/*.ttl 2>&1)"
echo "$out" | grep -v '^Skipping file' || true
echo "$out" | grep -q "^Found 0 errors" || { echo "lv2_validate found errors"; exit 1; }
if echo "$out" | grep -qi "^warning"; then echo "lv2_validate warned"; exit 1; fi
