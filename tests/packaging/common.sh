# Helpers shared by the installation and package tests.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The files of an installation under a root, as "mode path", sorted: with
# the database (cmake --install) or with the package's own files.
# Usage: expected_files PREFIX DATADIR APP_ID with-database|package
expected_files() {
  local prefix=$1 datadir=$2 id=$3 size
  {
    echo "755 .$prefix/VaskorTorvana"
    echo "644 .$prefix/VaskorTorvana.manifest"
    echo "644 .$prefix/Trivex.ocx"
    echo "755 .$prefix/vtregsvr"
    echo "755 .$prefix/ulmaro-migra"
    echo "644 .$prefix/schema.sql"
    echo "644 .$prefix/schema-pg.sql"
    echo "644 .$prefix/permissoes-pg.sql"
    if [ "$4" = with-database ]; then
      echo "664 .$prefix/ulmaro.mdb"
    else
      echo "644 ./usr/share/doc/vaskortorvana/copyright"
      echo "644 ./usr/share/doc/vaskortorvana/changelog.Debian.gz"
      echo "644 ./usr/share/doc/vaskortorvana/README.Debian"
      echo "644 ./lib/systemd/system/vaskortorvana-copia.service"
      echo "644 ./lib/systemd/system/vaskortorvana-copia.timer"
    fi
    echo "644 .$datadir/applications/$id.desktop"
    echo "644 .$datadir/metainfo/$id.metainfo.xml"
    for size in 16 32 48 256; do
      echo "644 .$datadir/icons/hicolor/${size}x$size/apps/$id.png"
    done
  } | sort
}

# Width and height of a PNG, "WxH".
png_size() {
  local b
  b=($(od -An -tu1 -j16 -N8 "$1"))
  echo "$(((b[0] << 24) + (b[1] << 16) + (b[2] << 8) + b[3]))x$(((b[4] << 24) + (b[5] << 16) + (b[6] << 8) + b[7]))"
}

# The environment of a headless run of the program for a user whose own
# registry is empty, message boxes echoed to stderr, in HEADLESS.
# Usage: headless WORKDIR
headless() {
  local home=$1/home
  rm -rf "$home"
  mkdir -p -m 777 "$home" "$home/run"
  HEADLESS=(env -u VT_OLE_REGISTRY HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/run"
    QT_QPA_PLATFORM=offscreen VT_MSGBOX_ECHO=1)
}

# Starts a program folder's VaskorTorvana headless (as root, or through the
# command given, e.g. setpriv ...), and checks that it opened the folder's
# database (through a link, the file it names) and created its control from
# the folder's Trivex.ocx. Any box fails.
# Usage: check_starts FOLDER WORKDIR [COMMAND...]
check_starts() {
  local dir db pid i started=
  dir=$(realpath "$1")
  db=$(realpath "$dir/ulmaro.mdb")
  headless "$2"
  "${HEADLESS[@]}" "${@:3}" "$dir/VaskorTorvana" 2> "$2/stderr" &
  pid=$!
  for i in $(seq 300); do
    if grep -q " $dir/Trivex.ocx\$" "/proc/$pid/maps" 2> /dev/null &&
      ls -l "/proc/$pid/fd" 2> /dev/null | grep -q " $db\$"; then
      started=1
      break
    fi
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.1
  done
  # Give a late error report the chance to show.
  [ -n "$started" ] && sleep 0.5
  kill "$pid" 2> /dev/null || true
  wait "$pid" 2> /dev/null || true
  if [ -z "$started" ] || grep -q '^MsgBox' "$2/stderr"; then
    cat "$2/stderr" >&2
    fail "$dir/VaskorTorvana did not start with its database and its control"
  fi
  [ ! -e "$2/home/.config/VaskorTorvana/ole-registry.ini" ] || fail "the program wrote a registry"
}

# The statements saving a client whose key is KEY; they print the key once
# it is saved (committed, outside a transaction: RETURNING would print it
# before the commit).
client_sql() {
  echo "INSERT INTO Clientes (CPFCod, Nome, Sexo, CEP, Endereco, Num, Cidade, UF, DDD, Fone)
        VALUES ('$1', 'Ana Souza', 'F', '01310-100', 'Av. Paulista', 1000, 'São Paulo', 'SP', 11,
                '3333-4444');
        SELECT CPFCod FROM Clientes WHERE CPFCod = '$1';"
}

# A client, for checks that the database keeps its contents.
add_client() {
  sqlite3 "$1" "$(client_sql 12345678909)" > /dev/null
}

# A desk with the program open: one connection to DB saving a client every
# 10 ms (keys PREFIX0, PREFIX1, ...) until the file STOP exists, each key
# written to ACKS once saved; through the command given (e.g. setpriv ...).
# Usage: saving_desk DB ACKS STOP PREFIX [COMMAND...] &
saving_desk() {
  local i=0
  while [ ! -e "$3" ]; do
    client_sql "$4$i"
    i=$((i + 1))
    sleep 0.01
  done | "${@:5}" stdbuf -oL sqlite3 -batch -cmd ".timeout 5000" "$1" > "$2" 2> "$2.err"
}

# Desks starting one after another, each saving one client over a connection
# of its own, until STOP exists. Usage: starting_desks DB ACKS STOP PREFIX [COMMAND...] &
starting_desks() {
  local i=0
  while [ ! -e "$3" ]; do
    "${@:5}" sqlite3 -batch -cmd ".timeout 5000" "$1" "$(client_sql "$4$i")" >> "$2" 2>> "$2.err" || true
    i=$((i + 1))
  done
}

# DB passes integrity_check and holds every client whose key a file of ACKS lists.
# Usage: all_saved DB ACKS...
all_saved() {
  local check lost
  check=$(sqlite3 "$1" 'PRAGMA integrity_check')
  [ "$check" = ok ] || fail "integrity_check of $1: $check"
  lost=$(comm -23 <(sort -u "${@:2}") <(sqlite3 "$1" 'SELECT CPFCod FROM Clientes' | sort -u))
  [ -z "$lost" ] || fail "clients lost in $1: $(echo $lost | head -c 300)"
}
