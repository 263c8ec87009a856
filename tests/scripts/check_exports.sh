#!/usr/bin/env bash
# Fails when libquilldrv.so exports anything but SQL* functions and its two
# setup-library entry points.
set -euo pipefail
lib=$1
bad=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v -E '^(SQL[A-Za-z]+|driver_test|quilldrv_version)$' || true)
if [ -n "$bad" ]; then
  echo "unexpected exports:"; echo "$bad"; exit 1
fi
echo "exports ok: $(nm -D --defined-only "$lib" | wc -l) symbols"
