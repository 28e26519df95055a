#!/usr/bin/env bash
# Builds the Debian package, installs it with dpkg, runs the installed hexpage from the
# PATH on the sample file in a pseudo-terminal, renders its man page, and removes it again.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh build-essential cmake dpkg-dev pkg-config libgtest-dev libvterm-dev man-db groff-base
cmake --workflow --preset package
# The end-to-end harness drives the installed program; only its tests are needed.
cmake --preset test >/dev/null
cmake --build --preset test --target endToEndTests

package="$(ls build/release/hexpage_*.deb)"
fail() {
    echo "FAILED: $*"
    exit 1
}

dpkg -i "$package"
installed="$(command -v hexpage)" || fail "hexpage is not on the PATH after dpkg -i"
[[ "$installed" == /usr/bin/hexpage ]] || fail "hexpage found at $installed, not /usr/bin/hexpage"
dpkg -L hexpage | grep -qx /usr/share/man/man1/hexpage.1 || fail "the package holds no man page"

HEXPAGE_INSTALLED="$installed" build/test/tests/endToEndTests --gtest_filter='InstalledProgram.*'

# Both the installed page, found by name as a user finds it, and the source in the tree.
for page in hexpage ./docs/hexpage.1; do
    warnings="$(MANPAGER=cat MANWIDTH=80 man --warnings "$page" 2>&1 >/dev/null)"
    [[ -z "$warnings" ]] || fail "man $page warns: $warnings"
    MANPAGER=cat man "$page" | grep -q '^EXIT STATUS' || fail "man $page renders no EXIT STATUS section"
done
echo "ok: man page renders without warnings"

dpkg -r hexpage
[[ ! -e /usr/bin/hexpage && ! -e /usr/share/man/man1/hexpage.1 ]] || fail "dpkg -r left files behind"
dpkg-query -W -f='${Status}' hexpage 2>/dev/null | grep -q 'install ok installed' && fail "hexpage still installed after dpkg -r"
echo "ok: the package installs, runs from the PATH and removes cleanly"
