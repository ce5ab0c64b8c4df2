#!/usr/bin/env bash
# The Debian package: built with CPack from this build tree, its control data and file list
# checked (and lintian run where it is installed), then extracted into a temporary root, where
# the server serves a simulated PLC to vorlask-cli, tells the service manager READY and
# STOPPING, and, handed its socket as systemd does, serves a client and ends when it leaves.
#
#   package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
work=$(mktemp -d /tmp/vorlask-package-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
# waitfor SECONDS DESCRIPTION COMMAND...: runs COMMAND until it succeeds, at most SECONDS.
waitfor() {
  local limit=$1 what=$2
  shift 2
  local deadline=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || fail "timed out waiting for $what"
    sleep 0.1
  done
}

echo "== building the package"
cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/vorlask_*_amd64.deb)
[ "$(basename "$deb")" = "vorlask_$(sed -n 's/^project(vorlask VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")_amd64.deb" ] ||
  fail "package name $(basename "$deb")"

echo "== control data and file list"
control=$(dpkg-deb -f "$deb")
for dep in nodejs libqt6widgets6 libqt6core6 libpugixml1v5 libc6 adduser; do
  grep -q "^Depends:.*\b$dep\b" <<<"$control" || fail "Depends lacks $dep"
done
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
for f in /usr/lib/vorlask/vorlask /usr/lib/vorlask/Vorlask.dat /usr/lib/vorlask/pelmora \
  /usr/lib/vorlask/vorlask-cli /usr/lib/vorlask/hostlink /usr/lib/vorlask/plcsim \
  /usr/lib/vorlask/vorlask-opcua /usr/lib/vorlask/opcua/index.js /usr/lib/vorlask/opcua/node_modules/node-opcua/package.json \
  /usr/lib/vorlask/vorlask-mqtt /usr/lib/vorlask/mqtt/node_modules/mqtt/package.json /usr/lib/vorlask/common/door-client.js \
  /usr/lib/vorlask/vorlask-web /usr/lib/vorlask/web/public/index.html /usr/lib/vorlask/web/node_modules/prom-client/package.json \
  /usr/lib/vorlask/common/users.js \
  /usr/bin/vorlask /usr/bin/pelmora /usr/bin/vorlask-cli /usr/bin/vorlask-opcua /usr/bin/vorlask-web /usr/bin/hostlink /usr/bin/plcsim \
  /lib/systemd/system/vorlask.service /lib/systemd/system/vorlask.socket /lib/systemd/system/vorlask-door.service \
  /etc/default/vorlask /usr/share/vorlask/vorlask.xml /usr/share/doc/vorlask/copyright /usr/share/doc/vorlask/changelog.gz \
  /usr/share/doc/vorlask/README.md /usr/share/doc/vorlask/docs/door.md /usr/share/doc/vorlask/examples/demo.xml \
  /usr/share/applications/pelmora.desktop /usr/share/icons/hicolor/scalable/apps/pelmora.svg \
  /usr/share/man/man1/vorlask.1.gz /usr/share/man/man1/pelmora.1.gz /usr/share/man/man1/vorlask-opcua.1.gz \
  /usr/share/man/man1/vorlask-web.1.gz /usr/share/doc/vorlask/docs/web.md; do
  grep -qx "$f" "$work/files" || fail "the package lacks $f"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -qx './conffiles' || fail "no conffiles"
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || true
  if grep -q '^E:' "$work/lintian"; then grep '^E:' "$work/lintian"; fail "lintian errors"; fi
  echo "lintian: no errors ($(grep -c '^W:' "$work/lintian" || true) warnings)"
fi

echo "== the extracted server on a simulated PLC"
root="$work/root"
dpkg-deb -x "$deb" "$root"
bin="$root/usr/lib/vorlask"
"$root/usr/bin/vorlask-opcua" --version | grep -q '^vorlask-opcua ' || fail "vorlask-opcua --version"
"$root/usr/bin/vorlask-mqtt" --version | grep -q '^vorlask-mqtt ' || fail "vorlask-mqtt --version"
"$bin/plcsim" --link "$work/com1" --image "$root/usr/share/doc/vorlask/examples/demo_com1.img" >/dev/null 2>&1 &
pids+=($!)
"$bin/plcsim" --link "$work/com2" --image "$root/usr/share/doc/vorlask/examples/demo_com2.img" >/dev/null 2>&1 &
pids+=($!)
waitfor 10 "the simulated lines" test -e "$work/com1" -a -e "$work/com2"
export MOLV_REGISTRY_ROOT="$work/registry"
key="$MOLV_REGISTRY_ROOT/software/molvautomation/vorlask"
mkdir -p "$key/ports"
printf 'ConfigFile=%s\n' "$root/usr/share/vorlask/vorlask.xml" >"$key/values"
printf 'COM1=%s\nCOM2=%s\n' "$work/com1" "$work/com2" >"$key/ports/values"
export VORLASK_SOCKET="$work/door/vorlask.sock"

# The service manager's notification socket, read by a small listener.
python3 - "$work/notify" >"$work/notes" <<'PY' &
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
while True:
    print(s.recv(4096).decode(), flush=True)
PY
pids+=($!)
waitfor 10 "the notification socket" test -S "$work/notify"
NOTIFY_SOCKET="$work/notify" "$bin/vorlask" --headless >"$work/server.log" 2>&1 &
server=$!
pids+=($server)
waitfor 20 "READY=1" grep -qx 'READY=1' "$work/notes"
value=$("$root/usr/bin/vorlask-cli" read --device Press.Setpoint)
[ "$(cut -f2 <<<"$value")" = 500 ] || fail "read $value"
# The installed web interface on the same door, its page and its REST.
"$root/usr/bin/vorlask-web" --port 0 >"$work/web.out" 2>"$work/web.log" &
pids+=($!)
waitfor 20 "the web interface's address" grep -q '^http://' "$work/web.out"
url=$(head -n 1 "$work/web.out")
waitfor 20 "the web interface's PLCs" bash -c "curl -sf '${url}api/plcs' | grep -q '\"plc\":\"Press\"'"
curl -sf "$url" | grep -q '<title>Vorlask</title>' || fail "the installed page"
kill -TERM "$server"
waitfor 20 "the server to end" bash -c "! kill -0 $server"
grep -qx 'STOPPING=1' "$work/notes" || fail "no STOPPING=1"

if command -v systemd-analyze >/dev/null; then
  echo "== the units"
  mkdir -p "$work/units"
  for u in vorlask.service vorlask-door.service vorlask.socket; do
    # The units name the installed paths: point them at the extracted root to check them.
    sed "s|/usr/lib/vorlask/|$bin/|g" "$root/lib/systemd/system/$u" >"$work/units/$u"
  done
  if ! SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no "$work/units/vorlask.service" \
      "$work/units/vorlask-door.service" "$work/units/vorlask.socket" >"$work/verify" 2>&1; then
    # A machine without the vorlask user (the package makes it) may only say so.
    if grep -v -e 'vorlask' -e '^$' "$work/verify" | grep -qi -e 'error' -e 'fail'; then
      cat "$work/verify"
      fail "systemd-analyze verify"
    fi
  fi
  grep -i -e 'unknown\|invalid\|ignoring' "$work/verify" && fail "systemd-analyze: $(cat "$work/verify")"
  # The services are hardened: exposure 4.0 or lower, as systemd rates it.
  for u in vorlask.service vorlask-door.service; do
    score=$(systemd-analyze security --offline=true "$work/units/$u" 2>/dev/null |
      sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    awk -v s="${score:-99}" 'BEGIN { exit !(s <= 4.0) }' || fail "$u: exposure ${score:-unknown} (4.0 or lower wanted)"
    echo "$u: exposure $score"
  done
fi

if command -v systemd-socket-activate >/dev/null; then
  echo "== socket activation"
  sock="$work/activated/vorlask.sock"
  mkdir -p "$work/activated"
  systemd-socket-activate -E MOLV_REGISTRY_ROOT -l "$sock" "$bin/vorlask" --headless >"$work/activated.log" 2>&1 &
  activated=$!
  pids+=($activated)
  waitfor 10 "the activation socket" test -S "$sock"
  value=$("$root/usr/bin/vorlask-cli" --socket "$sock" read --device Press.Setpoint)
  [ "$(cut -f2 <<<"$value")" = 500 ] || fail "read through the activated socket: $value"
  # Started for a client: it ends when its last client has left.
  waitfor 20 "the activated server to end" bash -c "! kill -0 $activated"
fi
echo "1 passed, 0 failed"
