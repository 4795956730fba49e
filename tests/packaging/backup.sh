#!/usr/bin/env bash
# ulmaro-migra copia: a copy taken while a desk saves continuously opens,
# passes integrity_check and holds every client saved before it began; a
# destination is never overwritten and a failed copy leaves nothing; the
# daily rotation keeps the newest 7 copies and the newest of each of the 4
# weeks before them; the documented restore puts a copy back in place.
# Usage: backup.sh ULMARO_MIGRA SCHEMA WORK_DIR
set -euo pipefail
migra=$1 schema=$2 work=$3
. "$(dirname "$0")/common.sh"

rm -rf "$work"
mkdir -p "$work"
trap 'touch "$work/stop"; wait' EXIT  # the desk stops with the test
db=$work/ulmaro.mdb
sqlite3 "$db" < "$schema" > /dev/null
# Enough clients for the copy to take a while.
for i in $(seq 20000); do echo "base$i"; done > "$work/base"
{
  echo "BEGIN;"
  while read -r key; do client_sql "$key"; done < "$work/base"
  echo "COMMIT;"
} | sqlite3 "$db" > /dev/null

# The copy, while a desk keeps saving.
saving_desk "$db" "$work/acks" "$work/stop" desk- &
desk=$!
until [ "$(wc -l < "$work/acks")" -ge 20 ]; do sleep 0.05; done
cp "$work/acks" "$work/before"
"$migra" copia --de "$db" "$work/copia.mdb" > "$work/copia.log" || fail "copia: $(cat "$work/copia.log")"
after=$(wc -l < "$work/acks")
sleep 0.5
touch "$work/stop"
wait $desk
[ "$(wc -l < "$work/acks")" -gt "$after" ] && [ ! -s "$work/acks.err" ] ||
  fail "the desk did not go on saving: $(cat "$work/acks.err")"
all_saved "$work/copia.mdb" "$work/base" "$work/before"
grep -q "verificada" "$work/copia.log" || fail "copia did not say it checked the copy"
[ "$(stat -c %a "$work/copia.mdb")" = 640 ] || fail "the copy is readable by others"
[ "$(sqlite3 "$work/copia.mdb" 'PRAGMA journal_mode')" = delete ] || fail "the copy is not a file of its own"

# Refusals leave no file behind, and never touch an existing one.
sum=$(sha256sum < "$work/copia.mdb")
printf 'x%.0s' $(seq 4096) > "$work/lixo.mdb"
for args in "--de $db $work/copia.mdb" "--de $work/nada.mdb $work/b.mdb" "--de $work/lixo.mdb $work/b.mdb" \
  "--de $db" "--de $db --diaria $work/nada"; do
  if "$migra" copia $args > /dev/null 2> "$work/err"; then fail "copia $args succeeded"; fi
  grep -Eq "Nenhuma cópia|Uso:|não existe" "$work/err" || fail "copia $args: $(cat "$work/err")"
done
[ "$(sha256sum < "$work/copia.mdb")" = "$sum" ] || fail "a refused copy changed an existing one"
[ -z "$(find "$work" -name '*.parcial' -o -name b.mdb)" ] || fail "a refused copy left a file"

# Rotation: 60 days of copies, and files that are not daily copies.
daily_copies() {  # the names of daily copies (real dates), newest first
  local f
  grep -E '^ulmaro-[0-9]{4}-[0-9]{2}-[0-9]{2}\.mdb$' | sort -ru | while read -r f; do
    if date -d "${f:7:10}" > /dev/null 2>&1; then echo "$f"; fi
  done
}
rotation() {  # FOLDER: checks what the next copy keeps
  local f kept=() weeks=() week
  ls "$1" > "$work/prior"
  "$migra" copia --de "$db" --diaria "$1" > "$work/rot.log" || fail "copia --diaria: $(cat "$work/rot.log")"
  grep -o 'ulmaro-[0-9-]*\.mdb' "$work/rot.log" | head -1 >> "$work/prior"
  # Of what was there and the new copy, newest first: 7 copies, then the
  # newest of each of 4 weeks.
  for f in $(daily_copies < "$work/prior"); do
    [ ${#kept[@]} -lt 7 ] && kept+=("$f") && continue
    week=$(date -d "${f:7:10}" +%G-%V)
    if [ ${#weeks[@]} -lt 4 ] && [[ " ${weeks[*]} " != *" $week "* ]]; then
      weeks+=("$week")
      kept+=("$f")
    fi
  done
  diff -u <(printf '%s\n' "${kept[@]}" | sort -r) <(ls "$1" | daily_copies) || fail "rotation in $1"
}
daily=$work/diarias
mkdir "$daily"
for n in $(seq 1 60); do touch "$daily/ulmaro-$(date -d "-$n days" +%F).mdb"; done
touch "$daily/notas.txt" "$daily/ulmaro-2020-13-45.mdb"
before=$(ls "$daily" | wc -l)
"$migra" copia --de "$work/nada.mdb" --diaria "$daily" 2> /dev/null && fail "a copy of a missing file succeeded"
[ "$(ls "$daily" | wc -l)" = "$before" ] || fail "a failed copy removed old ones"
rotation "$daily"
[ "$(ls "$daily" | wc -l)" = 13 ] || fail "expected 11 copies and 2 other files, got $(ls "$daily")"
[ -e "$daily/notas.txt" ] && [ -e "$daily/ulmaro-2020-13-45.mdb" ] || fail "rotation removed other files"
all_saved "$daily/ulmaro-$(date +%F).mdb" "$work/base"
# A machine that was off for months keeps its last copies.
old=$work/antigas
mkdir "$old"
for n in 200 300 400; do touch "$old/ulmaro-$(date -d "-$n days" +%F).mdb"; done
rotation "$old"
[ "$(ls "$old" | wc -l)" = 4 ] || fail "rotation removed the only copies of a machine that was off"

# Restore, as README.Debian says: the live file takes the copy's contents.
mode=$(stat -c %a "$db")
sqlite3 "$db" ".restore '$work/copia.mdb'"
[ "$(sqlite3 "$db" 'SELECT CPFCod FROM Clientes ORDER BY 1' | sha256sum)" = \
  "$(sqlite3 "$work/copia.mdb" 'SELECT CPFCod FROM Clientes ORDER BY 1' | sha256sum)" ] || fail "restore"
[ "$(sqlite3 "$db" 'PRAGMA integrity_check')" = ok ] && [ "$(stat -c %a "$db")" = "$mode" ] || fail "restore"
echo "backup: ok"
