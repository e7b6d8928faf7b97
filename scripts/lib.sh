# Shared by the scripts: say what is done, and install what is missing.
say() { printf '==> %s\n' "$*"; }

# The Debian packages the project builds, tests and runs with.
PELO_PACKAGES=(
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3 libssl-dev
  libpq-dev postgresql
  cssc cpio libnss-wrapper
  nlohmann-json3-dev
)

# The sanitized tree, which scripts/test and scripts/fuzz share: clang with
# AddressSanitizer, UndefinedBehaviorSanitizer and libFuzzer's coverage,
# the tests and the fuzz targets; optimised a little so that the tests
# run in less time, with line tables for the sanitizers' reports.
PELO_SANITIZED_TREE=(
  -DPELO_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -gline-tables-only"
  "-DCMAKE_C_FLAGS_DEBUG=-O1 -gline-tables-only" -DPELO_BENCH=OFF -DPELO_LAYERCHECK=OFF
  -DCMAKE_UNITY_BUILD=ON
)

ensure_packages() {
  local missing=() pkg
  for pkg in "${PELO_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    say "all Debian packages present"
    return 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    say "missing packages: ${missing[*]} (run as root to install them)"
    return 1
  fi
  say "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_tree() {  # build_tree DIR [cmake options...]
  local dir=$1; shift
  say "configuring $dir"
  cmake -S "$PELO_ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  say "building $dir"
  cmake --build "$dir" -j "$(nproc)"
}

# --- A throwaway PostgreSQL cluster for the tests --------------------------
# pg_cluster_start makes a cluster in a scratch directory: initdb (as the
# postgres login when run as root, since the server refuses to run as root),
# password (scram-sha-256) logins only, a Unix socket in the scratch
# directory and no TCP at all.  Its superuser is named after the login that
# runs the tests, because the utility connects as the login it runs under.
# It exports libpq's own variables for the cluster: PGHOST (the socket
# directory), PGPORT, PGUSER, PGPASSWORD and PGDATABASE (the maintenance
# database), so that any libpq client, the tests' included, reaches it with
# a database name alone; and, for the benchmarks, PELO_TEST_PG, the same as
# one URI.  It stops the cluster and removes the directory when the calling
# shell exits, also after a failure.  The cluster trades
# durability for speed: it never outlives its run.
pg_bindir() {
  local dir
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ] && { printf '%s\n' "$dir"; return 0; }
  done
  say "no PostgreSQL server found under /usr/lib/postgresql (package postgresql)"
  return 1
}

PELO_PG_DIR=
PELO_PG_BIN=
PELO_PG_OWNER=

pg_as_owner() {  # runs a command as the cluster's owner
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$PELO_PG_OWNER" -- "$@"
  else
    "$@"
  fi
}

pg_cluster_stop() {
  [ -n "$PELO_PG_DIR" ] || return 0
  if [ -f "$PELO_PG_DIR/data/postmaster.pid" ]; then
    pg_as_owner "$PELO_PG_BIN/pg_ctl" -D "$PELO_PG_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$PELO_PG_DIR"
  PELO_PG_DIR=
}

pg_cluster_start() {
  local role password
  PELO_PG_BIN=$(pg_bindir)
  role=$(id -un)
  PELO_PG_OWNER=$role
  [ "$(id -u)" -eq 0 ] && PELO_PG_OWNER=postgres
  # At most 20 characters: the client layer carries no longer password.
  password=$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')
  PELO_PG_DIR=$(mktemp -d /tmp/pelo-pg.XXXXXX)
  trap pg_cluster_stop EXIT
  chmod 755 "$PELO_PG_DIR"
  printf '%s\n' "$password" >"$PELO_PG_DIR/pwfile"
  chown -R "$PELO_PG_OWNER" "$PELO_PG_DIR"
  say "starting a throwaway PostgreSQL cluster in $PELO_PG_DIR"
  pg_as_owner "$PELO_PG_BIN/initdb" -D "$PELO_PG_DIR/data" -U "$role" --pwfile="$PELO_PG_DIR/pwfile" \
    --auth-local=scram-sha-256 --auth-host=reject --encoding=UTF8 --locale=C.UTF-8 \
    >"$PELO_PG_DIR/initdb.log" 2>&1 || { cat "$PELO_PG_DIR/initdb.log"; return 1; }
  rm -f "$PELO_PG_DIR/pwfile"
  pg_as_owner "$PELO_PG_BIN/pg_ctl" -D "$PELO_PG_DIR/data" -l "$PELO_PG_DIR/server.log" -w \
    -o "-c listen_addresses= -c port=5432 -c unix_socket_directories=$PELO_PG_DIR -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
    start >/dev/null || { cat "$PELO_PG_DIR/server.log"; return 1; }
  export PGHOST=$PELO_PG_DIR PGPORT=5432 PGUSER=$role PGPASSWORD=$password PGDATABASE=postgres
  export PELO_TEST_PG="postgresql:///postgres?host=$PELO_PG_DIR&user=$role&password=$password"
}
