#!/usr/bin/env bash
# Sets up the machine, builds, and starts the Deve console on the simulated
# board.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
exec ./scripts/run-console.sh "$@"
