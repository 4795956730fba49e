#!/usr/bin/env bash
# The package's maintainer scripts at work, as root, on trees of their own
# (the paths they name moved below a temporary folder; the group is an
# existing one; the tools that would change the system are stubs): a first
# install; what a member and a user outside the group may do, the program
# and the daily copy included; an upgrade from 1.0.0 that moves the clients
# while a desk keeps saving over an open connection and others start, losing
# none; the same across file systems, put off while the file is open;
# reinstall, remove and purge keeping the clients.
# Usage: maintainer_scripts.sh DEB_DIR PREFIX OLD_POSTINST SCHEMA
set -euo pipefail
debdir=$1 prefix=$2 old_postinst=$3 schema=$4
. "$(dirname "$0")/common.sh"
cd /

if [ "$(id -u)" != 0 ]; then
  echo "maintainer_scripts: skipped, needs root (owners, setpriv)"
  exit 77
fi
debs=("$debdir"/vaskortorvana_*.deb)
[ ${#debs[@]} = 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in $debdir"
deb=${debs[0]}
# Below /tmp, so that other users can reach the trees.
work=$(mktemp -d)
shm=
cleanup() {
  local s
  for s in "$work"/*.state; do touch "$s/stop" 2> /dev/null || true; done
  wait
  rm -rf "$work" ${shm:+"$shm"}
}
trap cleanup EXIT
chmod 755 "$work"
group=users
gid=$(getent group "$group" | cut -d: -f3)
member=(setpriv --reuid=nobody --regid=nogroup --groups="$gid")
other=(setpriv --reuid=nobody --regid=nogroup --clear-groups)

dpkg-deb -e "$deb" "$work/control"
data_orig=$(sed -n 's/^data=//p' "$work/control/postinst")
copias_orig=$(sed -n 's/^copias=//p' "$work/control/postinst")

# A tree with the package unpacked and its scripts (the 1.0.0 postinst too)
# pointed at it, in $state. Usage: sandbox NAME [DATA_DIR]
sandbox() {
  root=$work/$1
  state=$root.state
  dir=$root$prefix
  data=${2:-$root$data_orig}
  copias=$root$copias_orig
  db=$dir/ulmaro.mdb
  real=$data/ulmaro.mdb
  mkdir -p "$root" "$state/stubs"
  dpkg-deb -x "$deb" "$root"
  local s
  for s in postinst prerm postrm; do
    sed -e "s|^dir=.*|dir=$dir|" -e "s|^data=.*|data=$data|" -e "s|^copias=.*|copias=$copias|" \
      -e "s|^group=.*|group=$group|" "$work/control/$s" > "$state/$s"
  done
  sed -e "s|^dir=.*|dir=$dir|" -e "s|^group=.*|group=$group|" "$old_postinst" > "$state/postinst-1.0.0"
  : > "$state/overrides"
  : > "$state/calls"
  stub getent "[ \"\$1\" = group ] && [ -e $state/group ] && echo $group:x:$gid:"
  stub addgroup "touch $state/group"
  # Overrides are kept in a file; --update applies them, as dpkg-statoverride does.
  stub dpkg-statoverride "case \"\$1\" in
    --list) awk -v p=\"\$2\" '\$4 == p { print; f = 1 } END { exit !f }' $state/overrides ;;
    --update) echo \"\$3 \$4 \$5 \$6\" >> $state/overrides; chown \"\$3:\$4\" \"\$6\"; chmod \"\$5\" \"\$6\" ;;
    --remove) awk -v p=\"\$2\" '\$4 != p' $state/overrides > $state/o && mv $state/o $state/overrides ;;
  esac"
  stub deb-systemd-helper ""
  stub deb-systemd-invoke ""
  stub systemctl ""
}
stub() {
  printf '#!/bin/sh\necho "%s $*" >> "%s"\n%s\n' "$1" "$state/calls" "$2" > "$state/stubs/$1"
  chmod +x "$state/stubs/$1"
}
run() { PATH=$state/stubs:$PATH sh "$state/$1" "${@:2}"; }
called() { grep -qxF "$1" "$state/calls" || fail "not called: $1"; }
owner() {  # PATH "MODE USER GROUP"
  [ "$(stat -c '%a %U %G' "$1")" = "$2" ] || fail "$1 is $(stat -c '%a %U %G' "$1"), not $2"
}
clients() { sqlite3 "$real" 'SELECT count(*) FROM Clientes'; }

# The layout after install or upgrade: the program folder root's alone with
# a link to the clients, which only root and the group reach.
check_layout() {
  [ "$(readlink "$db")" = "$real" ] || fail "$db does not link to $real"
  owner "$dir" "755 root root"
  [ -z "$(find "$dir" ! -type l \( ! -user root -o ! -group root -o -perm /022 \))" ] ||
    fail "files in $dir others may write: $(find "$dir" ! -type l \( ! -user root -o -perm /022 \))"
  [ -z "$(ls "$dir" | grep -e '-wal$' -e '-shm$')" ] || fail "a log of the clients was left in $dir"
  owner "$data" "2770 root $group"
  owner "$real" "660 root $group"
  owner "$copias" "2750 root $group"
  [ "$(sqlite3 "$real" 'PRAGMA integrity_check')" = ok ] || fail "integrity_check"
}

# 1.0.0, with a desk saving over one open connection and desks starting,
# each as a member. Usage: old_installation_in_use CLIENTS
old_installation_in_use() {
  run postinst-1.0.0 configure
  owner "$dir" "2775 root $group"
  for i in $(seq "$1"); do echo "base$i"; done > "$state/base"
  { echo "BEGIN;"; while read -r key; do client_sql "$key"; done < "$state/base"; echo "COMMIT;"; } |
    "${member[@]}" sqlite3 "$db" > /dev/null
  saving_desk "$db" "$state/open" "$state/stop" open- "${member[@]}" &
  until [ -s "$state/open" ]; do sleep 0.05; done
}
stop_desks() {
  touch "$state/stop"
  wait
  [ ! -s "$state/open.err" ] || fail "the open desk failed to save: $(head -3 "$state/open.err")"
}

# A first install.
sandbox install
run postinst configure
check_layout
[ "$(clients)" = 0 ] || fail "the new database has no empty Clientes"
for call in "addgroup --system --quiet $group" "dpkg-statoverride --update --add root $group 2770 $data" \
  "dpkg-statoverride --update --add root $group 2750 $copias" "deb-systemd-helper enable vaskortorvana-copia.timer"; do
  called "$call"
done

# A member runs the program and saves clients, but cannot touch the program.
check_starts "$dir" "$state" "${member[@]}"
"${member[@]}" sqlite3 "$db" "$(client_sql 12345678909)" > /dev/null || fail "a member could not save"
for attempt in "touch $dir/x" "rm -f $db" "ln -sfn /tmp $db" "cp /bin/true $dir/VaskorTorvana" \
  "mv $dir/Trivex.ocx $dir/y" "sh -c 'echo >> $dir/VaskorTorvana.manifest'"; do
  if "${member[@]}" sh -c "$attempt" 2> /dev/null; then fail "a member could: $attempt"; fi
done
# A user outside the group reads nothing, and the program tells them the remedy.
sum=$(sha256sum < "$real")
for attempt in "cat $real" "ls $data" "ls $copias" "sqlite3 $db 'SELECT * FROM Clientes'"; do
  if "${other[@]}" sh -c "$attempt" > /dev/null 2>&1; then fail "a user outside the group could: $attempt"; fi
done
headless "$state"
code=0
"${HEADLESS[@]}" "${other[@]}" timeout 30 "$dir/VaskorTorvana" 2> "$state/stderr" || code=$?
boxes=$(grep '^MsgBox' "$state/stderr" || true)
[ "$code" -gt 0 ] && [ "$(wc -l <<< "$boxes")" = 1 ] &&
  grep -q "pasta $data, aberta apenas ao grupo $group, e o usuário nobody não está nesse grupo" <<< "$boxes" &&
  grep -q "adduser nobody $group" <<< "$boxes" || fail "outside the group: exit $code, $(cat "$state/stderr")"
if "${other[@]}" "$dir/ulmaro-migra" copia "$state/x.mdb" 2> "$state/err"; then fail "copia outside the group"; fi
grep -q "aberta apenas ao grupo $group" "$state/err" || fail "copia outside the group: $(cat "$state/err")"
[ "$(sha256sum < "$real")" = "$sum" ] || fail "a user outside the group changed the clients"

# The daily copy, as its service runs it; the group reads it, others do not.
exec=$(sed -n 's/^ExecStart=//p' "$root/lib/systemd/system/vaskortorvana-copia.service")
exec=${exec/$prefix\//$dir/}
${exec/$copias_orig/$copias} > /dev/null || fail "the service's command failed: $exec"
copy=$copias/ulmaro-$(date +%F).mdb
owner "$copy" "640 root $group"
[ "$("${member[@]}" sqlite3 "$copy" 'SELECT count(*) FROM Clientes')" = 1 ] || fail "a member cannot read the copy"
if "${other[@]}" cat "$copy" > /dev/null 2>&1; then fail "a user outside the group reads the copy"; fi

# Reinstall, then remove and purge as dpkg does: the clients and copies stay.
sum=$(sha256sum < "$real")
run postinst configure 1.1.0-1
[ "$(grep -c '^addgroup' "$state/calls")" = 1 ] || fail "the group was added twice"
run prerm remove
dpkg-deb -c "$deb" | awk '{ print $6 }' | sort -r | while read -r path; do
  rm -f "$root/$path" 2> /dev/null || rmdir "$root/$path" 2> /dev/null || true
done
run postrm remove
[ ! -e "$dir" ] || fail "remove left $(ls -A "$dir")"
run postrm purge
[ ! -s "$state/overrides" ] || fail "purge kept overrides: $(cat "$state/overrides")"
called "deb-systemd-helper purge vaskortorvana-copia.timer"
[ "$(sha256sum < "$real")" = "$sum" ] && [ -e "$copy" ] || fail "removal touched the clients or their copies"

# An upgrade from 1.0.0 with no desk open: the very same file takes its new
# name, with every client, and no log is left behind.
sandbox idle
run postinst-1.0.0 configure
for i in $(seq 50); do client_sql "base$i"; done | "${member[@]}" sqlite3 "$db" > /dev/null
inode=$(stat -c %i "$db")
rows=$(sqlite3 "$db" 'SELECT * FROM Clientes ORDER BY rowid' | sha256sum)
run postinst configure 1.0.0
check_layout
[ "$(stat -c %i "$real")" = "$inode" ] && [ "$(sqlite3 "$real" 'SELECT * FROM Clientes ORDER BY rowid' | sha256sum)" = "$rows" ] ||
  fail "the clients were not moved as they were"
[ -z "$(ls "$data" | grep -v '^ulmaro.mdb$')" ] || fail "left in $data: $(ls "$data")"
# Through the link, a missing or damaged file is refused as before, and the
# data folder stays as it was.
mv "$real" "$state/kept.mdb"
for case in "não foi encontrado" "não é um banco de dados"; do
  listing=$(ls -l "$data")
  headless "$state"
  if "${HEADLESS[@]}" "${member[@]}" timeout 30 "$dir/VaskorTorvana" 2> "$state/stderr"; then fail "started: $case"; fi
  [ "$(grep -c '^MsgBox' "$state/stderr")" = 1 ] && grep -q "^MsgBox.*$case" "$state/stderr" ||
    fail "$case: $(cat "$state/stderr")"
  [ "$(ls -l "$data")" = "$listing" ] || fail "$case: the data folder changed"
  printf 'x%.0s' $(seq 4096) > "$real"
  chgrp "$group" "$real"
  chmod 0660 "$real"
done

# An upgrade from 1.0.0 while a desk saves over an open connection and
# others start: the clients move, every save is kept, the open desk goes on.
sandbox upgrade
old_installation_in_use 500
inode=$(stat -c %i "$db")
starting_desks "$db" "$state/starting" "$state/stop" start- "${member[@]}" &
sleep 0.5
run postinst configure 1.0.0 2> "$state/err" || fail "postinst: $(cat "$state/err")"
[ ! -s "$state/err" ] || fail "postinst: $(cat "$state/err")"
moved=$(wc -l < "$state/open")
sleep 1
stop_desks
[ "$(wc -l < "$state/open")" -gt "$moved" ] || fail "the open desk saved nothing after the move"
check_layout
[ "$(stat -c %i "$real")" = "$inode" ] || fail "the clients were copied, not moved"
all_saved "$real" "$state/base" "$state/open" "$state/starting"
called "dpkg-statoverride --remove $dir"
check_starts "$dir" "$state" "${member[@]}"

# Across file systems: put off while the file is open (others can no longer
# read it), done by copying once no desk has it open.
shm=$(mktemp -d /dev/shm/vt.XXXXXX)
chmod 755 "$shm"
if [ "$(stat -c %d "$shm")" = "$(stat -c %d "$work")" ]; then
  echo "maintainer_scripts: /dev/shm is no other file system; the move across file systems is not checked"
else
  sandbox across "$shm/vaskortorvana"
  old_installation_in_use 100
  run postinst configure 1.0.0 2> "$state/err"
  grep -q "dpkg-reconfigure vaskortorvana" "$state/err" || fail "no advice: $(cat "$state/err")"
  [ -f "$db" ] && [ ! -L "$db" ] && [ ! -e "$real" ] || fail "moved a file that a desk had open"
  owner "$db" "660 root $group"
  owner "$dir" "2775 root $group"
  sleep 0.5
  stop_desks
  run postinst configure 1.1.0-1 2> "$state/err" || fail "postinst: $(cat "$state/err")"
  [ ! -s "$state/err" ] || fail "postinst: $(cat "$state/err")"
  check_layout
  all_saved "$real" "$state/base" "$state/open"
fi
echo "maintainer_scripts: ok"
