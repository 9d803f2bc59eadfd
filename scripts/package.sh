#!/usr/bin/env bash
# Builds the Debian package: a Release build in build-pkg/ (without the tests),
# then `cpack -G DEB` there. Prints the path of the .deb on standard output
# (everything else goes to standard error).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh >&2
# Configured every time (cheap): an older build-pkg takes these settings and
# finds tools installed since (rsvg-convert for the icon).
cmake -S . -B build-pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUENDRA_BUILD_TESTS=OFF >&2
cmake --build build-pkg -j"$(nproc)" >&2
out=$(cd build-pkg && cpack -G DEB)
echo "$out" >&2
# CPack reports "CPack: - package: /path/quendra_<version>_<arch>.deb generated."
deb=$(echo "$out" | sed -n 's/^CPack: - package: \(.*\.deb\) generated\.$/\1/p' | tail -n 1)
[ -n "$deb" ] && [ -f "$deb" ] || { echo "package.sh: no .deb was made" >&2; exit 1; }

# Every package dpkg-shlibdeps finds for the programs must be in the Depends
# line of cmake/Packaging.cmake (which names the run-time plugins as well).
if command -v dpkg-shlibdeps >/dev/null; then
    bins=("$PWD"/build-pkg/bin/{quendrapr,quendra-cli,veltar-standin})
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' EXIT
    mkdir "$tmp/debian" && touch "$tmp/debian/control"
    found=$(cd "$tmp" && dpkg-shlibdeps -O "${bins[@]}" | sed 's/^shlibs:Depends=//')
    declared=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*)//; s/ //g')
    missing=()
    for name in $(echo "$found" | tr ',' '\n' | sed 's/(.*)//; s/ //g'); do
        grep -qx "$name" <<<"$declared" || missing+=("$name")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "package.sh: the programs need ${missing[*]}, not in CPACK_DEBIAN_PACKAGE_DEPENDS" >&2
        echo "package.sh: dpkg-shlibdeps finds: $found" >&2
        exit 1
    fi
fi
echo "$deb"
