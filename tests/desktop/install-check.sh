#!/usr/bin/env bash
# Checks an installation into a private prefix.
#   install-check.sh install  BUILD_DIR PREFIX   install, then start the programs and look for every file
#   install-check.sh desktop  BUILD_DIR PREFIX   desktop-file-validate on the installed desktop entry
#   install-check.sh metainfo BUILD_DIR PREFIX   appstreamcli validate on the installed metainfo
# Exit status 77 means skipped (the validator is not installed).
set -euo pipefail
mode=$1 build=$2 prefix=$3
app=com.corvana.Vexilo
fail() { echo "FAIL: $*" >&2; exit 1; }

case $mode in
  install)
    rm -rf "$prefix"
    cmake --install "$build" --prefix "$prefix" >/dev/null
    version=$("$prefix/bin/vexilo-cli" --version) || fail "vexilo-cli --version exited with $?"
    [[ $version == "vexilo-cli "[0-9]* ]] || fail "vexilo-cli --version printed \"$version\""
    if [[ -e "$prefix/bin/vexilo" ]]; then
      QT_QPA_PLATFORM=offscreen timeout 30 "$prefix/bin/vexilo" --version >/dev/null || fail "vexilo --version exited with $?"
    fi
    files=(share/applications/$app.desktop share/metainfo/$app.metainfo.xml share/mime/packages/vexilo.xml
           share/icons/hicolor/scalable/apps/$app.svg share/bash-completion/completions/vexilo-cli
           share/man/man1/vexilo-cli.1.gz)
    for size in 16 22 24 32 48 64 128 256; do files+=(share/icons/hicolor/${size}x$size/apps/$app.png); done
    [[ -e "$prefix/bin/vexilo" ]] && files+=(share/man/man1/vexilo.1.gz)
    for f in "${files[@]}"; do [[ -s "$prefix/$f" ]] || fail "$f was not installed"; done
    gzip -dc "$prefix/share/man/man1/vexilo-cli.1.gz" | grep -q '^\.TH VEXILO\\-CLI 1' || fail "vexilo-cli.1 is no manual page"
    bash -n "$prefix/share/bash-completion/completions/vexilo-cli" || fail "the bash completion does not parse"
    # The MIME package gives .vxc files their type once the database is built.
    if command -v update-mime-database >/dev/null; then
      update-mime-database "$prefix/share/mime" >/dev/null 2>&1 || fail "update-mime-database refused the package"
      grep -q '^[0-9]*:application/x-vexilo-configuration:\*\.vxc' "$prefix/share/mime/globs2" ||
        fail "the MIME database has no glob for .vxc"
    fi
    ;;
  desktop)
    command -v desktop-file-validate >/dev/null || { echo "desktop-file-validate not installed"; exit 77; }
    out=$(desktop-file-validate "$prefix/share/applications/$app.desktop" 2>&1) || fail "$out"
    [[ -z $out ]] || fail "$out"
    ;;
  metainfo)
    command -v appstreamcli >/dev/null || { echo "appstreamcli not installed"; exit 77; }
    appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" ||
      fail "appstreamcli validate found problems"
    ;;
  *) fail "unknown mode $mode" ;;
esac
