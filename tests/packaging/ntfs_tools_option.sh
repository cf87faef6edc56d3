#!/bin/bash
# The build copies the ntfs-3g tools from DRIVELARK_NTFS3G_TOOLS_DIR into the bundle, again when
# one changes, and refuses a folder that lacks one. Stand-in tools, a build of its own:
#   ntfs_tools_option.sh <source folder> <scratch folder>
set -euo pipefail
source_dir=$1 scratch=$2
tools=(ntfs-3g ntfsfix ntfs-3g.probe)
fail() { echo "ntfs_tools_option: $*" >&2; exit 1; }
configure() {
  cmake -S "$source_dir" -B "$scratch/build" -G Ninja -DBUILD_TESTING=OFF \
    -DDRIVELARK_NTFS3G_TOOLS_DIR="$scratch/tools" >"$scratch/configure.log" 2>&1
}
# The bundle holds the given tools, executable and no links, after a build.
built() {
  cmake --build "$scratch/build" --target ntfs_tools >/dev/null
  for tool in "${tools[@]}"; do
    local bundled=$scratch/build/Drivelark.app/Contents/MacOS/$tool
    if ! cmp -s "$scratch/tools/$tool" "$bundled" || [ ! -x "$bundled" ] || [ -L "$bundled" ]; then
      fail "$1: $tool in the bundle is not the given one, or not an executable file"
    fi
  done
}

rm -rf "$scratch"
mkdir -p "$scratch/tools"
for tool in "${tools[@]}"; do
  printf '#!/bin/sh\necho "%s stand-in"\n' "$tool" >"$scratch/tools/$tool"
  chmod 0755 "$scratch/tools/$tool"
done
configure || fail "configuring with the stand-ins failed: $(cat "$scratch/configure.log")"
built "first build"
echo "# changed" >>"$scratch/tools/ntfsfix"
built "build after a change"
rm "$scratch/tools/ntfsfix"
if configure; then fail "configuring with a folder without ntfsfix succeeded"; fi
grep -q "no ntfsfix in" "$scratch/configure.log" || fail "the refusal does not name ntfsfix: $(cat "$scratch/configure.log")"
rm -rf "$scratch"
