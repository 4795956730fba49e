#!/usr/bin/env bash
# cpack -G DEB: the package's files and modes (no database in it), its
# dependencies, and its maintainer scripts run against an unpacked tree with
# the system's tools stubbed: install creates the database, upgrade and
# removal keep it.
# Usage: debian_package.sh CPACK BUILD_DIR WORK_DIR PREFIX DATADIR APP_ID
set -euo pipefail
cpack=$1 build=$2 work=$3 prefix=$4 datadir=$5 id=$6
. "$(dirname "$0")/common.sh"

rm -rf "$work"
mkdir -p "$work"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=("$work"/vaskortorvana_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "expected one package, got: ${debs[*]}"
deb=${debs[0]}

# Contents: the installation without the database (and nothing of tests or benchmarks).
mode() {  # rwxr-xr-x -> 755
  local s=${1:1:9} m=0 i
  for ((i = 0; i < 9; i++)); do
    m=$((m * 2))
    [ "${s:i:1}" = - ] || m=$((m + 1))
  done
  printf '%o' "$m"
}
actual=$(dpkg-deb -c "$deb" | while read -r perms _ _ _ _ path; do
  [ "${perms:0:1}" = - ] && echo "$(mode "$perms") $path"
done | sort)
diff -u <(expected_files "$prefix" "$datadir" "$id") <(echo "$actual") || fail "package contents"

# Dependencies computed from the binaries, plus what the scripts use.
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libc6 libqt6widgets6 libqt6gui6 libqt6core6 libsqlite3-0 adduser sqlite3; do
  grep -Eq "(^|, )$dep( |,|$)" <<< "$depends" || fail "Depends lacks $dep: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = vaskortorvana ] || fail "package name"

dpkg-deb -e "$deb" "$work/control"
for script in postinst postrm; do
  [ -x "$work/control/$script" ] && sh -n "$work/control/$script" || fail "$script missing, not executable or not sh"
done

# The maintainer scripts, against the unpacked package, with stubs for the
# tools that would change the system: they log each call and keep the group
# and the folder's override as files under $work/state.
root=$work/root
dpkg-deb -x "$deb" "$root"
stubs=$work/stubs
state=$work/state
mkdir -p "$stubs" "$state"
stub() {
  printf '#!/bin/sh\necho "%s $*" >> "%s"\n%s\n' "$1" "$work/calls" "$2" > "$stubs/$1"
  chmod +x "$stubs/$1"
}
stub getent "[ \"\$1\" != group ] || [ -e $state/group ]"
stub addgroup "touch $state/group"
stub dpkg-statoverride "case \"\$1\" in
  --list) [ -e $state/override ] ;;
  --update) touch $state/override ;;
  --remove) rm $state/override ;;
esac"
stub chgrp ""
stub chown ""
run() { DPKG_ROOT=$root PATH=$stubs:$PATH sh "$work/control/$1" "${@:2}"; }

db=$root$prefix/ulmaro.mdb
run postinst configure
[ -f "$db" ] && [ "$(stat -c %a "$db")" = 664 ] || fail "postinst did not create the database 0664"
[ "$(sqlite3 "$db" 'SELECT count(*) FROM Clientes')" = 0 ] || fail "the new database has no empty Clientes"
for call in "addgroup --system --quiet vaskortorvana" \
  "dpkg-statoverride --update --add root vaskortorvana 2775 $prefix" "chgrp vaskortorvana $db"; do
  grep -qxF "$call" "$work/calls" || fail "postinst did not call: $call"
done

add_client "$db"
sum=$(sha256sum < "$db")
run postinst configure 1.0.0       # an upgrade, or installing over an installation
[ "$(grep -c '^addgroup' "$work/calls")" = 1 ] || fail "the group was added twice"
run postrm upgrade 1.0.0
run postrm remove
run postrm purge
[ "$(sha256sum < "$db")" = "$sum" ] || fail "the maintainer scripts changed the database"
grep -qxF "dpkg-statoverride --remove $prefix" "$work/calls" || fail "purge kept the override"
echo "debian_package: ok"
