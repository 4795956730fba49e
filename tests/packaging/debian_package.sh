#!/usr/bin/env bash
# cpack -G DEB: the package's files, all root's and written by root alone (no
# database in it), its dependencies, its documentation, lintian's verdict
# and the daily copy's systemd units.
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

# Contents: the installation without the database (and nothing of tests or
# benchmarks), plus documentation and units; directories 755; all root's.
mode() {  # rwxr-xr-x -> 755
  local s=${1:1:9} m=0 i
  for ((i = 0; i < 9; i++)); do
    m=$((m * 2))
    [ "${s:i:1}" = - ] || m=$((m + 1))
  done
  printf '%o' "$m"
}
actual=$(dpkg-deb -c "$deb" | while read -r perms owner _ _ _ path; do
  [ "$owner" = root/root ] || echo "owner $owner $path"
  case "${perms:0:1}" in
    -) echo "$(mode "$perms") $path" ;;
    d) [ "$perms" = drwxr-xr-x ] || echo "directory $perms $path" ;;
    *) echo "other $perms $path" ;;
  esac
done | sort)
diff -u <(expected_files "$prefix" "$datadir" "$id" package) <(echo "$actual") || fail "package contents"

# Dependencies computed from the binaries, plus what the scripts use.
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libc6 libqt6widgets6 libqt6gui6 libqt6core6 libsqlite3-0 libpq5 adduser sqlite3; do
  grep -Eq "(^|, )$dep( |,|$)" <<< "$depends" || fail "Depends lacks $dep: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = vaskortorvana ] || fail "package name"
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] && sh -n "$work/control/$script" || fail "$script missing, not executable or not sh"
done

# The changelog speaks of this version.
dpkg-deb -x "$deb" "$work/root"
version=$(dpkg-deb -f "$deb" Version)
[ "$(zcat "$work/root/usr/share/doc/vaskortorvana/changelog.Debian.gz" | head -1)" = \
  "vaskortorvana ($version) unstable; urgency=medium" ] || fail "changelog.Debian.gz does not start with $version"

# lintian: no error or warning but the program folder under /opt.
lintian --fail-on none "$deb" > "$work/lintian.log" 2>&1 || true
if grep -E '^[EW]: ' "$work/lintian.log" | grep -v ' dir-or-file-in-opt '; then fail "lintian"; fi
grep -q '^E: vaskortorvana: dir-or-file-in-opt' "$work/lintian.log" || fail "lintian did not run: $(cat "$work/lintian.log")"

# The units, with the paths they name below the unpacked tree.
units=$work/units
mkdir "$units"
for unit in vaskortorvana-copia.service vaskortorvana-copia.timer; do
  sed "s|=$prefix/|=$work/root$prefix/|" "$work/root/lib/systemd/system/$unit" > "$units/$unit"
done
systemd-analyze verify "$units/vaskortorvana-copia.timer" "$units/vaskortorvana-copia.service" > "$work/verify.log" 2>&1 ||
  { cat "$work/verify.log" >&2; fail "systemd-analyze verify"; }
[ ! -s "$work/verify.log" ] || { cat "$work/verify.log" >&2; fail "systemd-analyze verify"; }
grep -qx "ExecStart=$prefix/ulmaro-migra copia --diaria .*" "$work/root/lib/systemd/system/vaskortorvana-copia.service" ||
  fail "the service does not run ulmaro-migra copia --diaria"
echo "debian_package: ok"
