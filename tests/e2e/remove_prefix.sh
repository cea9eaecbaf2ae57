#!/usr/bin/env bash
# Removes the template prefix of this run (some 700 MB).
set -euo pipefail
: "${KORVALEN_E2E_TEMPLATE:?}"
rm -rf "$KORVALEN_E2E_TEMPLATE"
