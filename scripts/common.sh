# Shared steps of the project's scripts: apt packages installed only when
# missing, the private virtual environment, and the build of the package.
SYS_PY=/usr/bin/python3
VENV=${QUORLEN_VENV:-$root/.venv}

ensure_apt() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "installing: ${missing[*]}" >&2
        [ -n "${QUORLEN_APT_UPDATED:-}" ] || { apt-get update -qq; export QUORLEN_APT_UPDATED=1; }
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
}

# Installs a package only when the command it provides is missing, for tools
# that several packages can provide (any JDK gives javac).
ensure_command() {
    command -v "$1" >/dev/null 2>&1 || ensure_apt "$2"
}

ensure_venv() {
    [ -x "$VENV/bin/python" ] || "$SYS_PY" -m venv --system-site-packages "$VENV"
}

# Builds the wheel users would get (build/wheel) and installs that very file,
# so the suite tests what ships; the wheel tests reuse it through
# QUORLEN_WHEEL instead of compiling everything a second time.
install_package() {
    local dist=$root/build/wheel
    rm -rf "$dist"
    "$VENV/bin/pip" wheel -q --no-build-isolation --no-deps --no-index -w "$dist" "$root" >&2
    QUORLEN_WHEEL=$(echo "$dist"/quorlen-*.whl)
    [ -f "$QUORLEN_WHEEL" ] || { echo "no wheel was built in $dist" >&2; exit 1; }
    export QUORLEN_WHEEL
    "$VENV/bin/pip" install -q --force-reinstall --no-deps --no-index "$QUORLEN_WHEEL" >&2
}

# Reference tools of the differential tests: dpkg's and RPM's orderings from
# Python, and npm's SemVer package run by node inside the environment.
NODE_SEMVER=$VENV/node_semver

ensure_reference_tools() {
    ensure_apt python3-apt python3-rpm nodejs
    # Some nodejs builds bundle npm; Debian's own package does not.
    command -v npm >/dev/null || ensure_apt npm
    [ -f "$NODE_SEMVER/node_modules/semver/package.json" ] ||
        npm install --silent --no-audit --no-fund --prefix "$NODE_SEMVER" semver >&2
}
