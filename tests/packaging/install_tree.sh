#!/usr/bin/env bash
# cmake --install into a temporary DESTDIR: the files and their modes, the
# desktop entry, icons and metainfo, the database made once and then kept,
# and the installed program starting for a user with an empty registry; the
# build tree's program too.
# Usage: install_tree.sh CMAKE BUILD_DIR WORK_DIR PREFIX DATADIR APP_ID
set -euo pipefail
cmake=$1 build=$2 work=$3 prefix=$4 datadir=$5 id=$6
. "$(dirname "$0")/common.sh"

rm -rf "$work"
mkdir -p "$work"
dest=$work/root
dir=$dest$prefix
share=$dest$datadir

DESTDIR=$dest "$cmake" --install "$build" > "$work/install.log"
diff -u <(expected_files "$prefix" "$datadir" "$id" with-database) \
  <(cd "$dest" && find . -type f -printf '%m %p\n' | sort) || fail "installed files or modes"
for size in 16 32 48 256; do
  [ "$(png_size "$share/icons/hicolor/${size}x$size/apps/$id.png")" = "${size}x$size" ] ||
    fail "icon ${size}x$size has the wrong size"
done

# The desktop entry and the metainfo: valid, and naming each other, the
# program and its window class.
desktop=$share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
for line in "Exec=$prefix/VaskorTorvana" "Icon=$id" "StartupWMClass=VaskorTorvana" "Categories=Office;"; do
  grep -qxF "$line" "$desktop" || fail "desktop entry lacks $line"
done
for pattern in "<launchable type=\"desktop-id\">$id.desktop</launchable>" "<image>https://.*\.png</image>"; do
  grep -q "$pattern" "$share/metainfo/$id.metainfo.xml" || fail "metainfo lacks $pattern"
done

# The database: made from the schema, then kept by a second install.
[ "$(sqlite3 "$dir/ulmaro.mdb" 'SELECT count(*) FROM Clientes')" = 0 ] || fail "new database"
add_client "$dir/ulmaro.mdb"
sum=$(sha256sum < "$dir/ulmaro.mdb")
DESTDIR=$dest "$cmake" --install "$build" > "$work/install2.log"
grep -q "Keeping: $dir/ulmaro.mdb" "$work/install2.log" || fail "second install did not keep the database"
[ "$(sha256sum < "$dir/ulmaro.mdb")" = "$sum" ] || fail "second install changed the database"

check_starts "$dir" "$work"
check_starts "$build/bin" "$work"
echo "install_tree: ok"
