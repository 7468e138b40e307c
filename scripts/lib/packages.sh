# Sourced by the setup and the test stages: install_missing PACKAGE... installs those of the Debian
# packages that are not installed yet (as root, or through sudo), after an apt-get update. A
# package of another architecture (name:i386) has its architecture added first.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep 'install ok installed' >/dev/null || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "installing: ${missing[*]}"
  local sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  for p in "${missing[@]}"; do
    case "$p" in
      *:*)
        dpkg --print-foreign-architectures | grep -qx "${p##*:}" ||
          "${sudo_cmd[@]}" dpkg --add-architecture "${p##*:}"
        ;;
    esac
  done
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
