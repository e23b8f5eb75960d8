# Sourced by the scripts that change the system. as_root sets the array
# "root_cmd" to the prefix that runs a command as root: nothing as root, sudo
# when it needs no password or can ask for one on a terminal. Returns 1 when
# neither can; the caller then prints the line to run as root.
as_root() {
  root_cmd=()
  [ "$(id -u)" -eq 0 ] && return 0
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    root_cmd=(sudo -n)
  elif command -v sudo >/dev/null && [ -t 0 ]; then
    root_cmd=(sudo)
  else
    return 1
  fi
}
