#!/usr/bin/env bash
# Usage: fetch-source.sh NAME=VERSION DESTDIR
# Fetches the Debian source package NAME at VERSION into DESTDIR, unpacked with its Debian patches
# applied, and prints the unpacked folder (DESTDIR/NAME-VERSION). When the archive has replaced
# VERSION (the security suite keeps only its newest), the newest one of the same upstream release
# is taken instead, with a note on stderr. apt runs with a private
# configuration inside DESTDIR (deb-src entries copied from the machine's debian.sources, private
# lists and cache): the machine's apt sources and state are never touched. A second run with the
# same arguments only prints the folder. Needs apt-get and dpkg-source (dpkg-dev).
set -euo pipefail

if [ $# -ne 2 ] || [[ "$1" != ?*=?* ]]; then
    echo "usage: fetch-source.sh NAME=VERSION DESTDIR" >&2
    exit 2
fi
name=${1%%=*}
version=${1#*=}
mkdir -p "$2"
dest=$(cd "$2" && pwd)
# An epoch's colon has no place in a folder name.
out=$dest/$name-${version//:/_}
# A pin the archive has replaced is a link to the folder of its replacement.
found() {
    if [ -L "$out" ]; then out=$dest/$(readlink "$out"); fi
    [ -d "$out" ]
}
if found; then
    echo "$out"
    exit 0
fi

apt_dir=$dest/.apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/download"
# Several fetches may share DESTDIR: one apt at a time.
exec 9>"$apt_dir/lock"
flock 9
if found; then
    echo "$out"
    exit 0
fi

system_sources=/etc/apt/sources.list.d/debian.sources
if [ ! -f "$system_sources" ]; then
    echo "fetch-source: $system_sources not found" >&2
    exit 1
fi
sources=$apt_dir/sources.list.d/debian-src.sources
sed -E 's/^Types:.*/Types: deb-src/' "$system_sources" >"$sources.new"
mv "$sources.new" "$sources"

apt_opts=(-qq
    -o Dir::Etc::SourceList=/dev/null
    -o Dir::Etc::SourceParts="$apt_dir/sources.list.d"
    -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::Cache="$apt_dir/cache"
    # Files land in a folder of ours that apt's download user may not be allowed to write.
    -o APT::Sandbox::User="$(id -un)")

log=$apt_dir/$name.log
fail() {
    echo "fetch-source: $1" >&2
    cat "$log" >&2
    exit 1
}
# Versions of NAME the private lists know, one a line.
known_versions() {
    apt-cache "${apt_opts[@]}" showsrc "$name" 2>/dev/null | sed -n 's/^Version: //p' | sort -u
}
# The version asked for; if the archive has replaced it (the security suite keeps only its newest),
# the newest one of the same upstream release.
resolve() {
    local v best=
    if known_versions | grep -qxF "$version"; then
        echo "$version"
        return
    fi
    while read -r v; do
        [ "${v%-*}" = "${version%-*}" ] || continue
        if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done < <(known_versions)
    [ -n "$best" ] && echo "$best"
}
refresh() {
    apt-get "${apt_opts[@]}" update >"$log" 2>&1 || fail "apt-get update failed"
}
download() { # version
    rm -rf "$downloads"
    mkdir -p "$downloads"
    (cd "$downloads" && apt-get "${apt_opts[@]}" source --download-only "$name=$1") >"$log" 2>&1
}

downloads=$apt_dir/download/$name
# The private lists are refreshed when they do not name the version asked for, and once more when
# the archive no longer serves what they name.
[ "$(resolve)" = "$version" ] || refresh
chosen=$(resolve) || true
if [ -z "$chosen" ]; then
    echo "fetch-source: Debian has no source package $name=$version; it has:" >&2
    known_versions | sed 's/^/  /' >&2
    exit 1
fi
if ! download "$chosen"; then
    refresh
    chosen=$(resolve) || fail "$name=$version is no longer in the archive"
    download "$chosen" || fail "apt-get source $name=$chosen failed"
fi
if [ "$chosen" != "$version" ]; then
    echo "fetch-source: $name=$version has been replaced in the archive; using $chosen" >&2
    pin=$out
    out=$dest/$name-${chosen//:/_}
    ln -sfn "$(basename "$out")" "$pin"
    if [ -d "$out" ]; then
        rm -rf "$downloads"
        echo "$out"
        exit 0
    fi
fi
dsc=$(ls "$downloads"/*.dsc)
# apt has checked every file against the signed index; dpkg-source only unpacks and patches.
rm -rf "$out.partial"
dpkg-source --no-check --no-copy -x "$dsc" "$out.partial" >"$log" 2>&1 || fail "dpkg-source -x $dsc failed"
mv "$out.partial" "$out"
rm -rf "$downloads"
echo "$out"
