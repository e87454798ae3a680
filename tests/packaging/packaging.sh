#!/usr/bin/env bash
# What the package installs, checked from the build tree.
# Needs SOURCE, BUILD, VERSION, GROFF, DESKTOP_FILE_VALIDATE, GUI, SIM, CLI.
# Usage: packaging.sh layout|man-pages|desktop-entry|completion|version
. "$(dirname "$0")/../support/lib.sh"
here=$(dirname "$0")

# The long options a program's --help lists, one a line, sorted.
help_options() { "$1" --help | grep -o -- '--[a-z][a-z-]*' | sort -u; }

# same WHAT LIST LIST: fails naming WHAT unless both lists are equal.
same() { diff "$2" "$3" >"$WORK/diff" || { fail "$1 ('<' only in the first)"; show "$WORK/diff"; }; }

# completes FUNCTION WORD...: the sorted replies for the command line WORD... (the last word completed).
completes() {
  local function=$1
  shift
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMPREPLY=()
  "$function"
  printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//'
}

# offered FUNCTION PROGRAM COMMAND...: every option offered after each COMMAND.
offered() {
  local function=$1 program=$2 command
  shift 2
  for command in "$@"; do completes "$function" "$program" $command --; echo; done | tr ' ' '\n' | sed '/^$/d' | sort -u
}

case "$1" in
  layout)
    DESTDIR="$WORK/root" cmake --install "$BUILD" --prefix /usr >"$WORK/install.log" ||
      { show "$WORK/install.log"; fail "cmake --install failed"; }
    (cd "$WORK/root" && find . -type f -o -type l) | sed 's/^\.//' >"$WORK/installed"
    "$here/expect-layout.sh" --exact all "$WORK/installed" || fail "install layout"
    gzip -t "$WORK"/root/usr/share/man/man1/*.gz || fail "a manual page is not a valid gzip file"
    ;;

  man-pages)
    for page in "$SOURCE"/doc/man/*.1; do
      name=$(basename "$page")
      "$GROFF" -man -ww -z -Tutf8 "$page" >"$WORK/groff.out" 2>&1
      [ -s "$WORK/groff.out" ] && { fail "$name: groff warns"; show "$WORK/groff.out"; }
      for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES EXAMPLES "SEE ALSO"; do
        grep -qxE "\.SH \"?$section\"?" "$page" || fail "$name: no section $section"
      done
    done
    # Every option --help lists is described, on the first line of a .TP entry, and no other.
    for program in "$CLI" "$SIM"; do
      name=$(basename "$program")
      same "$name.1: options of --help and the page" <(help_options "$program") \
        <(awk 'previous == ".TP" { print } { previous = $0 }' "$SOURCE/doc/man/$name.1" |
          grep -o -- '\\-\\-[a-z][a-z\\-]*' | sed 's/\\-/-/g' | sort -u)
    done
    ;;

  desktop-entry)
    entry=$SOURCE/packaging/qrb-flash.desktop
    "$DESKTOP_FILE_VALIDATE" "$entry" >"$WORK/validate" 2>&1 || true
    [ -s "$WORK/validate" ] && { fail "desktop-file-validate complains"; show "$WORK/validate"; }
    [ "$(sed -n 's/^Exec=//p' "$entry")" = "$(basename "$GUI")" ] || fail "Exec= does not start $(basename "$GUI")"
    # The AppStream record names the same entry and icon, and its validator has nothing to say.
    metainfo=$BUILD/packaging/com.example.qrb_flash.metainfo.xml
    appstreamcli validate --pedantic --no-net "$metainfo" >"$WORK/appstream" 2>&1 || { fail "appstreamcli validate"; show "$WORK/appstream"; }
    grep -qF '<launchable type="desktop-id">qrb-flash.desktop</launchable>' "$metainfo" || fail "metainfo: launchable"
    grep -qF "<release version=\"$VERSION\"" "$metainfo" || fail "metainfo: no release $VERSION"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    grep -qx "/usr/share/icons/hicolor/64x64/apps/$icon.png" "$here/expect-layout.sh" ||
      fail "Icon=$icon is not the installed icon"
    ;;

  completion)
    . "$SOURCE/packaging/bash-completion/qrb-flash"
    mkdir "$WORK/files" "$WORK/files/images"
    touch "$WORK/files/a.s19" "$WORK/files/b.S19" "$WORK/files/notes.txt"
    cd "$WORK/files" || exit 1
    # completion function | command line (the last word is completed) | replies
    while IFS='|' read -r function words replies; do
      eval "set -- $words"
      got=$(completes "$function" "$@")
      [ "$got" = "$replies" ] || fail "$words: completes to '$got', expected '$replies'"
    done <<'TABLE'
_qrb_flash_cli|qrb-flash-cli ''|check ports program read verify
_qrb_flash_cli|qrb-flash-cli program ''|a.s19 b.S19 images
_qrb_flash_cli|qrb-flash-cli check a|a.s19
_qrb_flash_cli|qrb-flash-cli verify a.s19 ''|
_qrb_flash_cli|qrb-flash-cli check a.s19 --fix ''|a.s19 b.S19 images
_qrb_flash_cli|qrb-flash-cli read out.s19 --r|--range --report
_qrb_flash_cli|qrb-flash-cli program --com ''|1 2 3 4
_qrb_flash_cli|qrb-flash-cli program --com 2 ''|a.s19 b.S19 images
_qrb_flash_cli|qrb-flash-cli program --baud = 1|115200 19200
_qrb_board_sim|qrb-board-sim --mode ''|flash idle
_qrb_board_sim|qrb-board-sim --load ''|a.s19 b.S19 images notes.txt
_qrb_board_sim|qrb-board-sim --tcp ''|
TABLE
    # The speeds are the command line's own (its refusal of a speed lists them).
    speeds=$({ "$CLI" program a.s19 --tcp 127.0.0.1 --baud 0 2>&1 || true; } | sed -n 's/.*--baud takes \(.*\), not 0$/\1/p' |
      sed 's/, / /g; s/ or / /' | tr ' ' '\n' | sort | tr '\n' ' ' | sed 's/ $//')
    [ -n "$speeds" ] || fail "no speeds in the refusal of --baud 0"
    [ "$(completes _qrb_flash_cli qrb-flash-cli program --baud '')" = "$speeds" ] ||
      fail "--baud completes to other speeds than the command line takes ($speeds)"
    same "qrb-flash-cli: options of --help and the completion" <(help_options "$CLI") \
      <(offered _qrb_flash_cli qrb-flash-cli "" "program f" "check f" "read f" "ports")
    same "qrb-board-sim: options of --help and the completion" <(help_options "$SIM") <(offered _qrb_board_sim qrb-board-sim "")
    ;;

  version)
    cli version --version
    expect_rc version 0 out "qrb-flash-cli $VERSION"
    [ "$("$SIM" --version)" = "qrb-board-sim $VERSION" ] || fail "qrb-board-sim --version: $("$SIM" --version)"
    # The changelog names the same release, in the form dpkg reads.
    log="$BUILD/packaging/doc/changelog"
    head -n 1 "$log" | grep -qxF "qrb-flash ($VERSION) stable; urgency=medium" || fail "changelog: $(head -n 1 "$log")"
    tail -n 1 "$log" | grep -qE '^ -- .+ <.+>  [A-Z][a-z]{2}, [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9:]{8} \+0000$' ||
      fail "changelog trailer: $(tail -n 1 "$log")"
    ;;

  *) echo "unknown case $1" >&2; exit 2 ;;
esac
finish
