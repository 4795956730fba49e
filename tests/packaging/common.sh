# Helpers shared by the installation and package tests.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The files of an installation under a root, as "mode path", sorted.
# Usage: expected_files PREFIX DATADIR APP_ID [with-database]
expected_files() {
  local prefix=$1 datadir=$2 id=$3 size
  {
    echo "755 .$prefix/VaskorTorvana"
    echo "644 .$prefix/VaskorTorvana.manifest"
    echo "644 .$prefix/Trivex.ocx"
    echo "755 .$prefix/vtregsvr"
    echo "644 .$prefix/schema.sql"
    [ "${4:-}" = with-database ] && echo "664 .$prefix/ulmaro.mdb"
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

# Starts a program folder's VaskorTorvana headless for a user whose own
# registry is empty, and checks that it opened the folder's database and
# created its control from the folder's Trivex.ocx. Message boxes are echoed
# to stderr; any box fails. Usage: check_starts FOLDER WORKDIR
check_starts() {
  local dir home pid i started=
  dir=$(realpath "$1")
  home=$2/home
  rm -rf "$home"
  mkdir -p -m 700 "$home" "$home/run"
  env -u VT_OLE_REGISTRY HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/run" \
    QT_QPA_PLATFORM=offscreen VT_MSGBOX_ECHO=1 "$dir/VaskorTorvana" 2> "$2/stderr" &
  pid=$!
  for i in $(seq 300); do
    if grep -q " $dir/Trivex.ocx\$" "/proc/$pid/maps" 2> /dev/null &&
      ls -l "/proc/$pid/fd" 2> /dev/null | grep -q " $dir/ulmaro.mdb\$"; then
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
  [ ! -e "$home/.config/VaskorTorvana/ole-registry.ini" ] || fail "the program wrote a registry"
}

# A client, for checks that the database keeps its contents.
add_client() {
  sqlite3 "$1" "INSERT INTO Clientes (CPFCod, Nome, Sexo, CEP, Endereco, Num, Cidade, UF, DDD, Fone)
                VALUES ('12345678909', 'Ana Souza', 'F', '01310-100', 'Av. Paulista', 1000,
                        'São Paulo', 'SP', 11, '3333-4444')"
}
