#!/usr/bin/env bash
# Builds hexpage and its tests under AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh build-essential cmake pkg-config libgtest-dev libvterm-dev
cmake --workflow --preset test
