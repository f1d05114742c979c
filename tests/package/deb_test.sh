#!/usr/bin/env bash
# Usage: deb_test.sh BUILD_DIR CPACK
#
# Builds the Debian package of the build, installs it into a scratch root
# with dpkg --root (its maintainer scripts run there, chrootless) and lists
# its files; then does what systemd would do with ostrand.service, which
# cannot run here (no systemd is running): reads the options file, runs the
# unit's start step and command as the unit's user (first on an empty state
# directory, then on a demo database), and fetches pages from it.
set -euo pipefail
build=$(cd -- "$1" && pwd)
cpack=$2
scratch=$(mktemp -d)
server=""
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf -- "$scratch"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }

# The package.
(cd "$scratch" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" \
  >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/deb/ostrand_*.deb)
echo "package: $(basename "$deb")"
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/ostrand ./usr/share/ostrand/db/schema.sql \
    ./usr/share/ostrand/db/schema-postgresql.sql ./usr/share/man/man1/ostrand.1.gz \
    ./usr/lib/systemd/system/ostrand.service ./etc/default/ostrand \
    ./usr/lib/sysusers.d/ostrand.conf ./usr/lib/tmpfiles.d/ostrand.conf; do
  grep -q " $file\$" <<<"$contents" || fail "$file is not in the package"
done
! grep -q "libostrand.a\|/include/" <<<"$contents" || fail "the library does not belong in it"
dpkg-deb -f "$deb" Depends | grep -q libsqlite3 || fail "no dependency on libsqlite3"
[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles)" = /etc/default/ostrand ] ||
  fail "/etc/default/ostrand is no conffile"

# Installed into a scratch root; the libraries come from the host.
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg --root="$root" --force-script-chrootless --force-depends -i "$deb" >"$scratch/dpkg.log" 2>&1 ||
  { cat "$scratch/dpkg.log"; fail "dpkg -i"; }
dpkg --root="$root" -s ostrand | grep -q "^Status: install ok installed" || fail "not installed"
echo "installed files:"
dpkg --root="$root" -L ostrand | sed 's/^/  /'

# The man page is ostrand(1) and documents every command.
man=$(zcat "$root/usr/share/man/man1/ostrand.1.gz")
grep -q '^\.TH OSTRAND "1"' <<<"$man" || fail "no ostrand(1) heading"
! grep -q "$build" <<<"$man" || fail "the man page names the build directory"
for command in call script demo-db passwd serve; do
  grep -q "^\\.SS \"ostrand $command\"" <<<"$man" || fail "the man page lacks $command"
done

# The unit: its own user, state and options, sandboxed.
unit=$root/usr/lib/systemd/system/ostrand.service
setting() { sed -n "s/^$1=//p" "$unit" | head -n 1; }
[ "$(setting User)" = ostrand ] || fail "the unit runs as $(setting User)"
[ "$(setting StateDirectory)" = ostrand ] || fail "no state directory"
[ "$(setting EnvironmentFile)" = -/etc/default/ostrand ] || fail "no options file"
for directive in NoNewPrivileges=yes ProtectSystem=strict ProtectHome=yes PrivateTmp=yes \
    PrivateDevices=yes CapabilityBoundingSet= RestrictAddressFamilies= MemoryDenyWriteExecute=yes \
    SystemCallFilter=@system-service; do
  grep -q "^$directive" "$unit" || fail "the unit lacks $directive"
done

# systemd's own reading of the unit (its program as installed in the root).
if command -v systemd-analyze >/dev/null; then
  sed "s|/usr/bin/ostrand|$root/usr/bin/ostrand|" "$unit" >"$scratch/ostrand.service"
  verify=$(systemd-analyze verify --man=no "$scratch/ostrand.service" 2>&1) ||
    fail "systemd-analyze verify: $verify"
  [ -z "$verify" ] || fail "systemd-analyze verify: $verify"
fi

# The package's user and state directory, made by its postinst in the root.
entry=$(grep '^ostrand:' "$root/etc/passwd") || fail "no user ostrand"
uid=$(cut -d: -f3 <<<"$entry")
gid=$(cut -d: -f4 <<<"$entry")
state=$root/var/lib/ostrand
[ "$(stat -c %u:%a "$state")" = "$uid:750" ] || fail "state directory $(stat -c %u:%a "$state")"
[ "$(stat -c %u:%a "$state/ostrand.secret")" = "$uid:600" ] || fail "no private signing key"

# The options file with any free port, read as systemd reads it.
sed -i "s/^OSTRAND_OPTIONS=.*/OSTRAND_OPTIONS=--host 127.0.0.1 --port 0/" "$root/etc/default/ostrand"
declare -A env=()
while IFS='=' read -r name value; do
  case $name in '' | '#'*) continue ;; esac
  env[$name]=$value
done <"$root/etc/default/ostrand"
# A command line of the unit as systemd runs it, into `command`: ${NAME} is
# one word, $NAME splits at spaces; the unit's absolute paths lie under the
# scratch root.
unit_command() {
  command=()
  local word split
  read -r -a words <<<"$(setting "$1")"
  for word in "${words[@]}"; do
    if [[ $word =~ ^\$\{([A-Z_]+)\}$ ]]; then
      command+=("${env[${BASH_REMATCH[1]}]}")
    elif [[ $word =~ ^\$([A-Z_]+)$ ]]; then
      read -r -a split <<<"${env[${BASH_REMATCH[1]}]}"
      command+=("${split[@]}")
    else
      command+=("$word")
    fi
  done
  command=("${command[@]//\/usr\/bin\//$root/usr/bin/}")
  command=("${command[@]//\/var\/lib\/ostrand/$state}")
}
as_service() { setpriv --reuid="$uid" --regid="$gid" --clear-groups --no-new-privs -- "$@"; }
chmod 755 "$scratch"
cd "$state"

# The first start makes an empty database; a start finding one changes nothing.
unit_command ExecStartPre
echo "service start step: ${command[*]}"
as_service "${command[@]}" >"$scratch/init.out" 2>&1 || { cat "$scratch/init.out"; fail "init-db"; }
[ "$(stat -c %u "$state/ostrand.db")" = "$uid" ] || fail "no database of the service's user"
as_service "$root/usr/bin/ostrand" demo-db "$state/ostrand.db" --force --password demo-pass-1 \
  >"$scratch/demo.txt" || fail "demo-db"
account=$(sed -n 's/.*demo account \([0-9][0-9]*\).*/\1/p' "$scratch/demo.txt" | head -n 1)
[ -n "$account" ] || { cat "$scratch/demo.txt"; fail "no demo account"; }
as_service "${command[@]}" >"$scratch/init.out" 2>&1 || { cat "$scratch/init.out"; fail "init-db again"; }

unit_command ExecStart
echo "service command: ${command[*]}"
# Started without a shell function between, so that $! is the server
# itself (setpriv execs it) and the clean-up ends it.
setpriv --reuid="$uid" --regid="$gid" --clear-groups --no-new-privs -- "${command[@]}" \
  >"$scratch/serve.out" 2>"$scratch/serve.err" &
server=$!
for _ in $(seq 100); do
  grep -q "listening" "$scratch/serve.out" 2>/dev/null && break
  kill -0 "$server" 2>/dev/null || { cat "$scratch/serve.err"; fail "the service did not start"; }
  sleep 0.1
done
port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$scratch/serve.out")
[ -n "$port" ] || fail "the service does not listen"

base=http://127.0.0.1:$port
jar=$scratch/cookies
form=$(curl -sf -c "$jar" -b "$jar" "$base/login") || fail "no sign-in page"
token=$(sed -n 's/.*name="signin" value="\([^"]*\)".*/\1/p' <<<"$form" | head -n 1)
[ -n "$token" ] || fail "no sign-in token"
code=$(curl -s -o /dev/null -w '%{http_code}' -c "$jar" -b "$jar" --data-urlencode "signin=$token" \
  --data-urlencode "person=$account" --data-urlencode "password=demo-pass-1" "$base/login")
[ "$code" = 303 ] || fail "sign-in answered $code"
page=$(curl -sf -b "$jar" "$base/schedule/personMonth.asp") || fail "no month page"
grep -q "<style>" <<<"$page" || fail "the month page has no component stylesheet"
echo "service answered as user $uid on port $port"
