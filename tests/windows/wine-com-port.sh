# shellcheck shell=bash
# A device of this machine (a pseudo-terminal, say) as a COM port of a Wine
# prefix: the Windows program opens \\.\COM<n>, and the port is listed where
# Windows lists a serial driver's ports, HKLM\HARDWARE\DEVICEMAP\SERIALCOMM,
# so `torvane-cli.exe ports` and the port dialog show it. Source this file.
#
#   wine_com_port N DEVICE    COM<N> opens DEVICE; the first call for N also
#                             enters it in SERIALCOMM, restarting the prefix
#                             (every Wine program of the prefix ends)
#   wine_com_port_remove N    COM<N> opens nothing; Wine's next start drops it
#                             from SERIALCOMM
#
# Needs WINEPREFIX (an initialised, throw-away prefix).
#
# Measured under Wine 8.0 (Debian 12):
# - A link $WINEPREFIX/dosdevices/com<n> -> DEVICE is enough to open
#   \\.\COM<n>, at once, but SERIALCOMM (and QueryDosDevice) list only what
#   Wine's mount manager created when the prefix started: COM1 for /dev/ttyS0.
# - The mount manager creates a port device for every value
#   COM<n> = <unix path> under HKLM\Software\Wine\Ports, links it as
#   dosdevices/com<n> and enters "\Device\Serial<n-1> = COM<n>" in SERIALCOMM,
#   but only when the prefix starts: neither the value alone nor
#   `wineboot -r` under a running wineserver does it; `wineserver -k` and the
#   next Wine program does (about 2.5 s for that start).
# - It takes the path as it is, without looking at it, and Wine follows links
#   at every open: so the value names a link of our own, which later calls
#   point at each new device without another restart. A restart while the
#   value named a device directly would turn the port back to that device.
# - SetupAPI's "Ports" class stays empty under Wine whatever is done here.

# wine_com_port N DEVICE
wine_com_port() {
  local n=$1 device=$2
  : "${WINEPREFIX:?set WINEPREFIX to a throw-away Wine prefix}"
  local link=$WINEPREFIX/torvane-com-links/com$n
  local known=0
  [ -L "$link" ] && known=1
  mkdir -p "${link%/*}"
  ln -sfn "$device" "$link"
  ln -sfn "$link" "$WINEPREFIX/dosdevices/com$n"
  [ "$known" -eq 1 ] && return 0
  wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$link" /f >/dev/null 2>&1 || {
    echo "wine_com_port: cannot write HKLM\\Software\\Wine\\Ports\\COM$n" >&2
    rm -f "$link"
    return 1
  }
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  if ! wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | grep -qw "COM$n"; then
    echo "wine_com_port: Wine's restart did not enter COM$n in HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM" >&2
    return 1
  fi
}

# wine_com_port_remove N
wine_com_port_remove() {
  local n=$1
  : "${WINEPREFIX:?set WINEPREFIX to a throw-away Wine prefix}"
  wine reg delete 'HKLM\Software\Wine\Ports' /v "COM$n" /f >/dev/null 2>&1
  rm -f "$WINEPREFIX/torvane-com-links/com$n" "$WINEPREFIX/dosdevices/com$n"
}
