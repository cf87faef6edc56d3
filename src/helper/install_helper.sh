#!/bin/bash
# Installs drivelark-mount, the ntfs-3g tools it runs, and the sudo rule that lets the console
# user run it as root without a password. Run as root, through the administrator prompt:
#   /bin/bash install_helper.sh <folder of the application's executable> <bundle resource folder>
# Nothing from the resource folder is needed. Prints HELPER_INSTALL_OK when everything is in
# place; running it again is harmless. A run that fails removes what it placed, so that the
# application falls back to asking for the password. Written for macOS's bash 3.2 as well.
set -euo pipefail
umask 022
PATH=/usr/bin:/bin:/usr/sbin:/sbin
LC_ALL=C
export PATH LC_ALL

# Where macOS keeps privileged helpers: root's own folders all the way up.
parent_dir=/Library/PrivilegedHelperTools
bin_dir=$parent_dir/com.drivelark.Drivelark
helper="$bin_dir/drivelark-mount"
rule_dir=/etc/sudoers.d
rule_file="$rule_dir/drivelark"
tools=(drivelark-mount ntfs-3g ntfsfix ntfs-3g.probe)
rule_tmp=
placed=false

fail() {
  echo "install_helper.sh: $*" >&2
  exit 1
}

# On any failure: no staged copy survives, and once anything was placed, neither do the tools nor
# the rule. Sudo skips files in sudoers.d whose names hold a dot, so a staged rule is never in force.
clean_up() {
  local status=$? tool
  for tool in "${tools[@]}"; do
    rm -f -- "$bin_dir/.$tool.new"
  done
  if [ -n "$rule_tmp" ]; then rm -f -- "$rule_tmp"; fi
  if [ "$status" -ne 0 ] && [ "$placed" = true ]; then
    rm -f -- "$rule_file"
    for tool in "${tools[@]}"; do
      rm -f -- "$bin_dir/$tool"
    done
    rmdir -- "$bin_dir" 2>/dev/null || true
  fi
}
trap clean_up EXIT

[ "$#" -eq 2 ] || fail "usage: install_helper.sh <folder of the application's executable> <bundle resource folder>"
source_dir=$1
[ "$(id -u)" -eq 0 ] || fail "must run as root"

# The console user.
user=$(stat -f%Su /dev/console) || fail "cannot tell who is logged in at the console"
case "$user" in
  '' | root | loginwindow | _mbsetupuser) fail "no user is logged in at the console (it belongs to '$user')" ;;
esac
# The name goes into a sudo rule.
[[ $user =~ ^[A-Za-z0-9_][A-Za-z0-9_.-]*$ ]] || fail "the console user's name '$user' cannot go into a sudo rule"
# stat names an owner without an account by number.
id -u -- "$user" >/dev/null 2>&1 || fail "the console belongs to '$user', which is not a user account"

# sudo runs $helper as root: whoever can change any folder on its path could put another
# program in its place.
require_root_only() {
  local path=$1 status owner mode
  [ ! -L "$path" ] || fail "$path is a symbolic link; refusing to install the helper tool beneath it"
  status=$(stat -f '%u %Lp' -- "$path") || fail "cannot inspect $path"
  owner=${status%% *}
  mode=${status#* }
  if [ "$owner" != 0 ] || (((8#$mode & 8#022) != 0)); then
    fail "$path is not owned by root or other users can change it (owner $owner, mode $mode);" \
      "whoever can change it could replace the tool that sudo runs as root"
  fi
}
for path in / /Library "$parent_dir" "$bin_dir"; do
  if [ -e "$path" ] || [ -L "$path" ]; then require_root_only "$path"; fi
done

# install follows links: only plain files of the bundle are copied.
for tool in "${tools[@]}"; do
  if [ -L "$source_dir/$tool" ] || [ ! -f "$source_dir/$tool" ]; then
    fail "$source_dir/$tool is missing or not a plain file"
  fi
done
[ -d "$rule_dir" ] || fail "$rule_dir is missing, so sudo cannot be given the helper's rule"

# The hex SHA-256 digest of a file.
digest_of() {
  local digest
  digest=$(shasum -a 256 <"$1") || return 1
  digest=${digest%% *}
  [[ $digest =~ ^[0-9a-f]{64}$ ]] || return 1
  printf '%s\n' "$digest"
}

[ -d "$parent_dir" ] || install -d -o 0 -g 0 -m 0755 "$parent_dir"
install -d -o 0 -g 0 -m 0755 "$bin_dir"
chown 0:0 "$bin_dir"
chmod 0755 "$bin_dir"

# Every tool is staged first and then renamed into place, so a running tool is never changed
# underneath and a failed copy replaces nothing.
for tool in "${tools[@]}"; do
  install -o 0 -g 0 -m 0755 "$source_dir/$tool" "$bin_dir/.$tool.new"
done
# The rule pins the copy that root now holds, not the bundle, whose owner can change it meanwhile.
digest=$(digest_of "$bin_dir/.drivelark-mount.new") || fail "cannot compute the helper's digest"
placed=true
for tool in "${tools[@]}"; do
  mv -f "$bin_dir/.$tool.new" "$bin_dir/$tool"
done

rule_tmp=$(mktemp "$rule_dir/.drivelark.XXXXXX")
printf '%s ALL=(root) NOPASSWD: sha256:%s %s\n' "$user" "$digest" "$helper" >"$rule_tmp"
chown 0:0 "$rule_tmp"
chmod 0440 "$rule_tmp"
if ! checked=$(visudo -c -f "$rule_tmp" 2>&1); then
  fail "the sudo rule for $user did not pass visudo's check, so it was not installed: $checked"
fi
mv -f "$rule_tmp" "$rule_file"
rule_tmp=
if ! checked=$(visudo -c 2>&1); then
  fail "sudo's configuration did not pass visudo's check with the helper's rule, so nothing was installed: $checked"
fi

for tool in "${tools[@]}"; do
  require_root_only "$bin_dir/$tool"
  [ -x "$bin_dir/$tool" ] || fail "$bin_dir/$tool is not executable"
done
[ -f "$rule_file" ] || fail "$rule_file is not in place"
[ "$(digest_of "$helper")" = "$digest" ] || fail "$helper is not the file its sudo rule pins"
echo HELPER_INSTALL_OK
