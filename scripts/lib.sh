# Shared by the scripts: say what is done, and install what is missing.
say() { printf '==> %s\n' "$*"; }

# The Debian packages the project builds, tests and runs with.
PELO_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev sqlite3
  libpq-dev postgresql
  cssc cpio libnss-wrapper
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
