#!/usr/bin/env bash
# Builds quorlen into the private virtual environment and shows the quorlen
# command at work: a real scan of the example lockfiles against the bundled
# advisory sample, which real Python advisories affect a Django release, and
# comparisons and sorts of real version strings. Installs what it lacks from
# apt (only when missing). Run as root on Debian 12 from anywhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/common.sh
. "$root/scripts/common.sh"

ensure_apt g++ meson ninja-build pkg-config python3-dev python3-venv python3-mesonpy python3-yaml
ensure_venv
install_package

quorlen() { "$VENV/bin/quorlen" "$@"; }
# Runs one command as a user would type it; shows a test's answer or a failure.
show() {
    local status=0
    printf '\n$ quorlen %s\n' "$*"
    quorlen "$@" || status=$?
    if [ "$1" = test ] || [ "$status" -ne 0 ]; then echo "(exit status $status)"; fi
}

printf '\n# A real scan of the example lockfiles against the advisory sample bundled with the package:\n'
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf '$ quorlen db build --sample --db %s\n' "$scratch/osv.sqlite3"
quorlen db build --sample --db "$scratch/osv.sqlite3"
cd "$root"
show scan examples/ --db "$scratch/osv.sqlite3"

printf '\n# An image built from files of this machine (its dpkg database and os-release, the Python\n'
printf '# distributions of its python3 packages, a layer deleting one), scanned like a project:\n'
"$VENV/bin/python" "$root/scripts/demo_image.py" "$scratch/image.tar"
show scan "$scratch/image.tar" --db "$scratch/osv.sqlite3" | tail -n 12
printf '$ quorlen scan %s --format json ... (package, file inside the image, layer)\n' "$scratch/image.tar"
quorlen scan "$scratch/image.tar" --db "$scratch/osv.sqlite3" --format json | "$VENV/bin/python" -c '
import json, sys
for f in json.load(sys.stdin)["findings"][:5]:
    p = f["package"]
    print(f["id"], p["name"], p["version"], p["file"].split("!/")[1], p["layer"][:19])' || true

records="$root/../shared/data/osv-pypi"
if [ -d "$records" ]; then
    printf '\n# Advisories among %s OSV records that affect Django 3.2.1:\n' \
        "$(find "$records" -name '*.json' | wc -l)"
    printf '$ quorlen osv %s --purl pkg:pypi/django@3.2.1\n' "$records"
    ids=$(quorlen osv "$records" --purl pkg:pypi/django@3.2.1 || true)
    echo "$ids" | head -n 8
    echo "... $(echo "$ids" | grep -c .) advisories in all"
    printf '\n# The same question for a release with every known fix:\n'
    show osv "$records" -e PyPI --package Django --version 5.1.2
else
    echo "no advisory records at $records; skipping the OSV part" >&2
fi

printf '\n# Comparisons under the rules of each ecosystem:\n'
show compare 1.0.0-rc.1 1.0.0 -e semver
show compare 2:1.0-1 1:9.9-1 -e debian
show compare 1.0.post1 1.0.1 -e pep440
show test 5.14.0-284.el9 lt 5.14.0-362.el9 -e rpm

printf '\n# Sorting versions, as sort -V would, but by the ecosystem'"'"'s rules:\n'
printf '$ printf ... | quorlen sort -e pep440\n'
printf '%s\n' 2.0 2.0rc1 1.10 1.9 2.0.post1 2.0.dev3 1!0.5 | quorlen sort -e pep440
printf '$ printf ... | quorlen latest-stable -e pep440\n'
printf '%s\n' 4.2.16 5.0a1 5.1rc1 4.2.9 | quorlen latest-stable -e pep440

printf '\n# Ranges and bumps:\n'
show satisfies '>=3.2,<3.2.5' -e pep440 3.1.14 3.2 3.2.4 3.2.5
show bump prerelease 1.4.0-rc.1 --tag rc
show purl 'pkg:maven/org.apache.commons/commons-text@1.9'
