# Shared by the scripts: the Debian packages the project needs, installed when
# missing (with apt-get as root; otherwise the exact command is printed).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}

# Qt Charts' CMake package needs Qt's OpenGL one, which its Debian package
# does not pull in. libsystemd reads the client's event log from the journal.
PACKAGES_BUILD=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libsystemd-dev libgtest-dev libgmock-dev)
PACKAGES_TEST=(locales python3 clang libclang-rt-14-dev)
PACKAGES_BENCH=(libbenchmark-dev libpugixml-dev)
# The real client and its application library, for the test against them;
# that test skips itself where they cannot be had.
PACKAGES_CLIENT=(boinc-client libboinc-app-dev)
# The monitoring stack the metrics are tested through; its tests skip without it.
PACKAGES_MONITORING=(prometheus prometheus-node-exporter)
# systemd's own writer of journal files, for the journal reader's test; it
# skips itself without it.
PACKAGES_JOURNAL=(systemd-journal-remote)
# A private desktop for the window's notifications and tray icon: an X
# server, a session bus, a notification service and a tray; its test skips
# without them. The pictures of them also need ImageMagick.
PACKAGES_DESKTOP=(xvfb dbus dunst trayer x11-utils xdotool)
# dpkg-shlibdeps (dpkg-dev) finds the package's dependencies; CPack asks file
# which installed files are programs.
PACKAGES_PACKAGE=(dpkg-dev file)
# Checking the package: its policy, and its manual pages rendered.
PACKAGES_PACKAGE_CHECK=(lintian man-db groff-base)

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

ensure_packages() {
  local missing
  missing=$(missing_packages "$@" | tr '\n' ' ')
  [ -z "${missing// /}" ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing >/dev/null
  else
    echo "Missing Debian packages. Run:" >&2
    echo "  sudo apt-get install -y $missing" >&2
    exit 1
  fi
}

# Like ensure_packages, but a failure only warns: what needs these skips itself.
try_packages() {
  ( ensure_packages "$@" ) || echo "Could not install $*: the tests that need them will be skipped." >&2
}

# The number-formatting tests also run under a German locale (comma as the
# decimal separator); generate it when we may.
ensure_test_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
  if [ "$(id -u)" -eq 0 ] && [ -f /etc/locale.gen ]; then
    sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null 2>&1 || true
  fi
}

# configure BUILD_DIR [cmake options...]. CRUNCHWATCH_WERROR=ON (scripts/test
# sets it) makes every warning an error; a user's own build keeps the default.
configure() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCRUNCHWATCH_WERROR="${CRUNCHWATCH_WERROR:-OFF}" "$@" >/dev/null
}
