#!/usr/bin/env bash
# Builds hexpage and opens the sample file with it (or the file named as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh build-essential cmake
cmake --workflow --preset release >/dev/null
exec build/release/hexpage "${1:-examples/sample.bin}"
