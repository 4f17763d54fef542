# Sourced by the web checks: installs what they need from Debian when it is missing.
# apt may be busy with another install; it is tried again for a while.

apt_install() {
  [[ $(id -u) -eq 0 ]] || command -v sudo >/dev/null || return 1
  local sudo=""
  [[ $(id -u) -eq 0 ]] || sudo="sudo -n"
  local try
  for try in 1 2 3 4 5 6; do
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null 2>&1 && return 0
    $sudo apt-get update -qq >/dev/null 2>&1
    sleep 10
  done
  return 1
}

# Node.js and npm; skips the check (exit 77) with a note when they cannot be installed.
need_node() {
  command -v node >/dev/null && command -v npm >/dev/null && return 0
  apt_install nodejs npm
  command -v node >/dev/null && command -v npm >/dev/null && return 0
  echo "skipped: Node.js could not be installed"
  exit 77
}

# npm packages (name@version ...) in the build folder's web-tests, which the checks share;
# one check installs at a time, as ctest runs them side by side. Sets `modules` to the folder.
# Skips as above when npm cannot install them.
need_npm() {
  local build=$1
  shift
  modules="$build/web-tests"
  mkdir -p "$modules"
  exec 9>"$modules/.lock"
  flock 9
  local missing=() package
  for package in "$@"; do
    [[ -d "$modules/node_modules/${package%@*}" ]] || missing+=("$package")
  done
  if ((${#missing[@]})) && ! npm install --prefix "$modules" --no-audit --no-fund --loglevel=error "${missing[@]}" >/dev/null 2>&1; then
    echo "skipped: npm could not install ${missing[*]}"
    exit 77
  fi
  flock -u 9
}

# Debian's chromium; skips as above when it cannot be installed.
need_chromium() {
  command -v chromium >/dev/null && return 0
  apt_install chromium
  command -v chromium >/dev/null && return 0
  echo "skipped: Chromium could not be installed"
  exit 77
}
