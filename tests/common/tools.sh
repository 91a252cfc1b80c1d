# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the test scripts. require_tools PROGRAM...: each must be one that scripts/setup.sh
# installs (its TOOLS or PACKAGE_TOOLS table), so that the script passes on a fresh machine too,
# and must be there; a missing one skips the test (exit 77), or fails it where
# KELMAR_TEST_TOOLS_REQUIRED is set.
require_tools() {
    local setup tool
    setup="$(dirname "${BASH_SOURCE[0]}")/../../scripts/setup.sh"
    for tool; do
        if ! grep -qE "\"$tool [^\"]+\"" "$setup"; then
            echo "FAIL: this test runs $tool, which scripts/setup.sh does not install" >&2
            exit 1
        fi
        if ! command -v "$tool" >/dev/null; then
            echo "$tool is missing (scripts/setup.sh installs it)" >&2
            [ -n "${KELMAR_TEST_TOOLS_REQUIRED:-}" ] && exit 1
            exit 77
        fi
    done
}
