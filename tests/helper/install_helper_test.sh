#!/bin/bash
# The installer against the real install, visudo and sudo configuration of this Linux machine,
# inside a private mount namespace: /usr/local/lib and /etc/sudoers.d are fresh tmpfs folders,
# /etc/passwd and /dev/console are stand-ins, so nothing of the machine's own changes.
#   install_helper_test.sh <install_helper.sh> <folder holding the helper and the ntfs-3g tools>
# Skips (77) unless it runs as root and can make a mount namespace.
set -euo pipefail

if [ "${DRIVELARK_IN_NAMESPACE:-}" != 1 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "skipped: needs root"; exit 77; }
  unshare --mount --propagation private true 2>/dev/null || { echo "skipped: no mount namespaces"; exit 77; }
  DRIVELARK_IN_NAMESPACE=1 exec unshare --mount --propagation private "$0" "$@"
fi

installer=$1
bundle=$2
bin=/usr/local/lib/drivelark/bin
rule=/etc/sudoers.d/drivelark
work=$(mktemp -d)
failures=0

mount -t tmpfs -o mode=0755 drivelark-test /usr/local/lib
mount -t tmpfs -o mode=0755 drivelark-test /etc/sudoers.d
cp /etc/passwd "$work/passwd"
cat >>"$work/passwd" <<'USERS'
alice:x:501:20::/nonexistent:/usr/sbin/nologin
j.doe-2:x:502:20::/nonexistent:/usr/sbin/nologin
loginwindow:x:503:20::/nonexistent:/usr/sbin/nologin
_mbsetupuser:x:504:20::/nonexistent:/usr/sbin/nologin
bad user:x:505:20::/nonexistent:/usr/sbin/nologin
al$ice:x:506:20::/nonexistent:/usr/sbin/nologin
été:x:507:20::/nonexistent:/usr/sbin/nologin
USERS
mount --bind "$work/passwd" /etc/passwd
touch "$work/console"
mount --bind "$work/console" /dev/console
mkdir "$work/bundle"
cp "$bundle"/{drivelark-mount,ntfs-3g,ntfsfix,ntfs-3g.probe} "$work/bundle/"

console_user() { chown -- "$1" "$work/console"; }
nothing_installed() { [ ! -e "$bin" ] && [ ! -e "$rule" ]; }

# Runs the installer; its status in $status, its output (both streams) in $output.
install() {
  status=0
  output=$(bash "$installer" "$@" 2>&1) || status=$?
}

fail() {
  echo "FAILED: $*"
  echo "  installer said: $output"
  failures=$((failures + 1))
}

expect_installed() {  # <user> <case>
  if [ "$status" -ne 0 ] || [ "$output" != HELPER_INSTALL_OK ]; then fail "$2: not installed"; fi
  for tool in drivelark-mount ntfs-3g ntfsfix ntfs-3g.probe; do
    [ "$(stat -c '%u %g %a %F' "$bin/$tool")" = "0 0 755 regular file" ] || fail "$2: $tool owner or mode"
    cmp -s "$work/bundle/$tool" "$bin/$tool" || fail "$2: $tool differs from the bundle's"
  done
  for dir in /usr/local/lib/drivelark "$bin"; do
    [ "$(stat -c '%u %g %a' "$dir")" = "0 0 755" ] || fail "$2: $dir owner or mode"
  done
  [ "$(stat -c '%u %g %a' "$rule")" = "0 0 440" ] || fail "$2: rule owner or mode"
  [ "$(cat "$rule")" = "$1 ALL=(root) NOPASSWD: $bin/drivelark-mount" ] || fail "$2: rule is $(cat "$rule")"
  visudo -c >/dev/null || fail "$2: sudo configuration broken"
  expect_nothing_staged "$2"
}

expect_refused() {  # <text in the message> <case>
  [ "$status" -ne 0 ] || fail "$2: succeeded"
  [[ $output != *HELPER_INSTALL_OK* ]] || fail "$2: claimed success"
  [[ $output == *"$1"* ]] || fail "$2: message lacks '$1'"
  expect_nothing_staged "$2"
}

expect_nothing_staged() {
  [ -z "$(find /usr/local/lib /etc/sudoers.d -name '.*' ! -name . 2>/dev/null)" ] || fail "$1: staged files left"
}

reset() {
  rm -rf /usr/local/lib/drivelark /etc/sudoers.d/*
  chmod 0755 /usr/local/lib
}

# A fresh install, then the same again, then an update.
console_user alice
install "$work/bundle" /nonexistent
expect_installed alice "fresh install"
install "$work/bundle" /nonexistent
expect_installed alice "second install"
echo "# newer" >>"$work/bundle/ntfsfix"
console_user j.doe-2
install "$work/bundle" /nonexistent
expect_installed j.doe-2 "update for another console user"

# Nobody suitable at the console: nothing changes.
for user in root loginwindow _mbsetupuser "bad user" "al\$ice" été 4242; do
  reset
  console_user "$user"
  install "$work/bundle" /nonexistent
  expect_refused "console" "console user '$user'"
  nothing_installed || fail "console user '$user': something was installed"
done
console_user alice

# A folder on the tool's path that someone else could change.
reset
chmod 1777 /usr/local/lib
install "$work/bundle" /nonexistent
expect_refused "/usr/local/lib is not owned by root or other users can change it" "world-writable /usr/local/lib"
nothing_installed || fail "world-writable /usr/local/lib: something was installed"
reset
mkdir -p "$bin"
chown 501 /usr/local/lib/drivelark
install "$work/bundle" /nonexistent
expect_refused "/usr/local/lib/drivelark is not owned by root" "user-owned drivelark folder"
reset
mkdir -p "$bin"
chmod 0775 "$bin"
install "$work/bundle" /nonexistent
expect_refused "$bin is not owned by root or other users can change it" "group-writable bin folder"
reset
mkdir -p "$work/elsewhere"
ln -s "$work/elsewhere" /usr/local/lib/drivelark
install "$work/bundle" /nonexistent
expect_refused "/usr/local/lib/drivelark is a symbolic link" "symbolic link on the path"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "symbolic link on the path: installed through it"

# A sudo configuration that does not pass with the rule leaves no rule behind, not even an old one.
reset
install "$work/bundle" /nonexistent
expect_installed alice "install before a broken configuration"
echo "this is not sudoers syntax" >/etc/sudoers.d/zz-broken
chmod 0440 /etc/sudoers.d/zz-broken
install "$work/bundle" /nonexistent
expect_refused "did not pass visudo's check" "broken sudo configuration"
[ ! -e "$rule" ] || fail "broken sudo configuration: the rule stayed"
rm -f /etc/sudoers.d/zz-broken

# Missing pieces and wrong calls change nothing.
reset
rm "$work/bundle/ntfs-3g.probe"
install "$work/bundle" /nonexistent
expect_refused "ntfs-3g.probe is missing" "tool missing from the bundle"
nothing_installed || fail "tool missing from the bundle: something was installed"
cp "$bundle/ntfs-3g.probe" "$work/bundle/"
install "$work/bundle"
expect_refused "usage" "one argument"
status=0
output=$(setpriv --reuid=65534 --regid=65534 --clear-groups bash "$installer" "$work/bundle" /nonexistent 2>&1) || status=$?
expect_refused "must run as root" "not root"

umount /dev/console /etc/passwd /etc/sudoers.d /usr/local/lib
rm -rf "$work"
[ "$failures" -eq 0 ] || exit 1
echo "all installer cases passed"
