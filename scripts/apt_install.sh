# Sourced by the setup scripts: apt_install PACKAGE... installs, with
# apt-get and without recommended packages, those not yet installed (as
# root, or through sudo). Sets sudo_cmd for the caller's other steps.
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

apt_install() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}
