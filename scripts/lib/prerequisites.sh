# Shared set-up of the project's commands: Debian packages and qemu-user.
# Sourced by scripts/test, scripts/run-module and the tests' package
# fetches; not run on its own.

ORVANTA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Packages each kind of build needs.
orvanta_packages() {
  local kind
  local -a pkgs=(cmake make g++ pkg-config libconfig-dev libgtest-dev libgmock-dev util-linux busybox)
  # The libraries of rsyslog and syslog-ng, which the scenarios unpack into
  # the build tree (Debian installs only one syslog daemon at a time).
  pkgs+=(libestr0 libfastjson4 liblognorm5 libivykis0 libnet1 libwrap0 libglib2.0-0 libjson-c5 libpcre3
         libcap2 libssl3 libuuid1 libzstd1 zlib1g)
  local -a arm=(g++-arm-linux-gnueabihf qemu-user libc6:armhf libstdc++6:armhf
                libconfig-dev:armhf libgtest-dev:armhf libgmock-dev:armhf)
  for kind in "$@"; do
    case $kind in
      sanitize|other-host|fuzz) pkgs+=(clang-14 libclang-rt-14-dev) ;;
      arm|arm-release) pkgs+=("${arm[@]}" debian-archive-keyring) ;;
      # The sanitizers' run-time libraries, where the ARM loader finds them.
      arm-other-host) pkgs+=("${arm[@]}" libasan8:armhf libubsan1:armhf) ;;
      # The router page's test drives a real browser.
      browser) pkgs+=(chromium chromium-driver python3-selenium) ;;
      # The emulated router (tests/system): its image is made from Debian's
      # armhf packages, fetched like the old runtime.
      system) pkgs+=("${arm[@]}" debian-archive-keyring qemu-system-arm cpio e2fsprogs) ;;
    esac
  done
  printf '%s\n' "${pkgs[@]}" | sort -u
}

orvanta_missing_packages() {
  local pkg
  for pkg in $(orvanta_packages "$@"); do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
      echo "$pkg"
  done
}

# Installs what is missing (as root), or names it and fails.
orvanta_ensure_packages() {
  local -a missing
  mapfile -t missing < <(orvanta_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: missing Debian packages: ${missing[*]}" >&2
    echo "       install them as root: apt-get install ${missing[*]}" >&2
    return 1
  fi
  echo "== installing Debian packages: ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':armhf$' &&
     ! dpkg --print-foreign-architectures | grep -qx armhf; then
    dpkg --add-architecture armhf
  fi
  export DEBIAN_FRONTEND=noninteractive
  # A list that cannot be had need not stop the install: it says what it
  # cannot find.
  orvanta_apt_update -qq || true
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# apt-get update, tried three times: a mirror in the middle of a sync
# serves lists that do not match their index for a while; offline, each
# try fails at once. The arguments go before "update".
orvanta_apt_update() {
  local try
  for try in 1 2 3; do
    apt-get "$@" update && return 0
    [ "$try" -lt 3 ] && { echo "== apt-get update failed; again in $((try * 10)) s"; sleep $((try * 10)); }
  done
  return 1
}

ORVANTA_BINFMT=/proc/sys/fs/binfmt_misc
ORVANTA_ARM_MAGIC='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x28\x00'
ORVANTA_ARM_MASK='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

# ARM programs started by other programs (the supervisor, the agent it
# starts) need the kernel to hand them to qemu-arm. The fix-binary flag F
# opens qemu-arm once, at registration, so that it keeps working inside
# the tests' mount namespaces, where /usr/bin is replaced.
orvanta_ensure_binfmt() {
  local entry=$ORVANTA_BINFMT/qemu-arm
  if [ -e "$entry" ] && grep -q '^enabled' "$entry" && grep -q '^flags:.*F' "$entry"; then
    return 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    echo "note: qemu-arm is not registered with binfmt_misc (flag F) and this is not root;" >&2
    echo "      ARM tests that start ARM child programs will be skipped." >&2
    return 0
  fi
  [ -e "$ORVANTA_BINFMT/register" ] ||
    mount -t binfmt_misc binfmt_misc "$ORVANTA_BINFMT"
  [ -e "$entry" ] && echo -1 > "$entry"
  printf ':qemu-arm:M::%s:%s:%s:F\n' "$ORVANTA_ARM_MAGIC" "$ORVANTA_ARM_MASK" \
    "$(command -v qemu-arm)" > "$ORVANTA_BINFMT/register"
}

# Configures (once) and builds one kind of build in build/<kind>, with the
# CMake preset of that name (CMakePresets.json): the targets named after
# the kind, or all of it.
orvanta_build() {
  local kind=$1 dir=$ORVANTA_ROOT/build/$1
  shift
  case $kind in
    native|sanitize|other-host|arm|arm-other-host|fuzz|release|arm-release) ;;
    *) echo "error: unknown build '$kind' (native, sanitize, other-host, arm, arm-other-host, fuzz, release, arm-release)" >&2
       return 1 ;;
  esac
  [ -f "$dir/CMakeCache.txt" ] || (cd "$ORVANTA_ROOT" && cmake --preset "$kind" >/dev/null)
  cmake --build "$dir" --parallel "$(nproc)" ${1:+--target "$@"}
}
