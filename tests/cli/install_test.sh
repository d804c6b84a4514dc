#!/usr/bin/env bash
# The installed tree as its users meet it: `cmake --install` of the build
# into an empty prefix, then the tool run with no environment at all, a host
# program built against the header through pkg-config, the manual page
# rendered and the bash completion asked; then the Debian package that
# `cpack -G DEB` makes, unpacked, holds the same files and runs.
#   install_test.sh BUILD_DIR [package]
set -euo pipefail
build=$1
package=${2:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
fail() {
  echo "install test: $*" >&2
  exit 1
}

# Every installed file is under `root`/`usr`, and the tool there runs with
# no PICTRA_MODULE, no PATH: it finds lib/pictra/pictra.vxm from its own place.
check_tree() {
  local root=$1 usr=$2 file formats name
  for file in bin/pictra lib/pictra/pictra.vxm include/pictra/plugin.h \
              share/pkgconfig/pictra-plugin.pc share/man/man1/pictra.1 \
              share/bash-completion/completions/pictra share/zsh/vendor-completions/_pictra; do
    [ -f "$root$usr/$file" ] || fail "$usr/$file is not installed"
  done
  [ ! -e "$root$usr/bin/pictra.vxm" ] || fail "the module is installed beside the tool"
  formats=$(env -i "$root$usr/bin/pictra" formats) || fail "the installed tool cannot run 'formats'"
  for name in AMIGAOS NEWICON AMIGAOS35 AMIGAOS40 PNG WINDOWS MACOS; do
    grep -q "^$name " <<<"$formats" || fail "'formats' of the installed tool lacks $name"
  done
}

cmake --install "$build" --prefix "$prefix" >/dev/null
check_tree "$prefix" ""
# Moved as a whole, the tree still works; without its module the tool says so.
cp -a "$prefix" "$scratch/moved"
env -i "$scratch/moved/bin/pictra" formats >/dev/null || fail "a moved tree does not run"
rm "$scratch/moved/lib/pictra/pictra.vxm"
! message=$(env -i "$scratch/moved/bin/pictra" formats 2>&1) || fail "the tool ran without its module"
grep -q "cannot find the module" <<<"$message" || fail "no clear error without the module: $message"

# A host program compiles against the installed contract alone.
export PKG_CONFIG_PATH=$prefix/share/pkgconfig
cflags=$(pkg-config --cflags pictra-plugin) || fail "pkg-config does not know pictra-plugin"
moduledir=$(pkg-config --variable=moduledir pictra-plugin)
[ -f "$moduledir/pictra.vxm" ] || fail "moduledir $moduledir holds no pictra.vxm"
printf '#include <pictra/plugin.h>\nint main(void) { TagItem end = {TagEnd, 0}; return (int)end.tag; }\n' |
  cc -std=c11 -Wall -Werror $cflags -fsyntax-only -x c - ||
  fail "plugin.h does not compile with: $cflags"
[[ $cflags == *"$prefix"* ]] || fail "pkg-config points outside the prefix: $cflags"

# The manual page renders without a warning and covers every subcommand.
page=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/pictra.1" 2>"$scratch/man.err") ||
  fail "man -l cannot render the page"
[ ! -s "$scratch/man.err" ] || fail "man warns: $(cat "$scratch/man.err")"
for subcommand in formats info extract convert create set sheet; do
  grep -Eq "^ +$subcommand\$" <<<"$page" || fail "the manual page has no section for $subcommand"
done
for option in --recursive --jobs --quiet --output --name --table --scale --dry-run --module; do
  grep -q -- "$option" <<<"$page" || fail "the manual page does not mention $option"
done

# The bash completion offers subcommands, options and format names.
completion=/usr/share/bash-completion/bash_completion
[ -f "$completion" ] || fail "bash-completion is missing (scripts/setup.sh installs it)"
complete_words() {
  bash -c 'source "$1"; source "$2"; shift 2
           COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
           _pictra; echo "${COMPREPLY[*]}"' _ "$completion" \
    "$prefix/share/bash-completion/completions/pictra" "$@"
}
[ "$(complete_words pictra s)" = "set sheet" ] || fail "completion of 'pictra s': $(complete_words pictra s)"
[ "$(complete_words pictra sheet --sc)" = "--scale" ] || fail "no --scale for sheet"
[ "$(complete_words "$prefix/bin/pictra" convert -f win)" = "WINDOWS" ] ||
  fail "format names not completed: $(complete_words "$prefix/bin/pictra" convert -f win)"

# The zsh completion, in an interactive zsh on a pseudo-terminal: each line
# is typed with a tab, and the read waits until the completed word appears.
command -v zsh >/dev/null || fail "zsh is missing (scripts/setup.sh installs it)"
zsh_completes() {
  local typed=$1 expected=$2
  timeout 60 env PATH="$prefix/bin:$PATH" zsh -f -c '
    zmodload zsh/zpty
    zpty shell "TERM=dumb zsh -f -i"
    zpty -w shell "fpath=($1 \$fpath); autoload -U compinit; compinit -u -D; PS1=\"> \""
    zpty -w -n shell "$2"$'"'"'\t'"'"'
    zpty -r shell line "*$3*"' _ "$prefix/share/zsh/vendor-completions" "$typed" "$expected" >/dev/null ||
    fail "zsh does not complete '$typed' to $expected"
}
zsh_completes "pictra she" "pictra sheet"
zsh_completes "pictra sheet --sc" "--scale="
zsh_completes "pictra convert -f NE" "NEWICON"

# The package: the same tree under /usr, and the libraries it needs declared.
if [ "$package" != package ]; then
  echo "install test: passed (no package made of this build)"
  exit 0
fi
cpack -G DEB -B "$scratch/package" --config "$build/CPackConfig.cmake" >/dev/null
deb=$(echo "$scratch"/package/pictra_*.deb)
[ -f "$deb" ] || fail "cpack made no package"
dpkg-deb -x "$deb" "$scratch/unpacked"
check_tree "$scratch/unpacked" /usr
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libspng0 libdeflate0 libopenjp2-7 libfmt9; do
  grep -q "$library" <<<"$depends" || fail "the package does not depend on $library: $depends"
done
echo "install test: passed"
