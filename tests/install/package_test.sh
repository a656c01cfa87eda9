#!/usr/bin/env bash
# The .deb that cpack makes: files where Debian looks for them, library
# dependencies filled in, desktop entry and metainfo accepted by their
# validators, man pages that name every option of --help, and programs
# that run from the unpacked tree.
#   package_test.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAILED: $*"; failed=1; }

if ! cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"; exit 1
fi
deb=$(ls "$work"/tessaly_"$version"_*.deb) || exit 1
dpkg-deb -x "$deb" "$work/root" || exit 1
usr=$work/root/usr
id=org.tessaly.Tessaly

for f in bin/tessaly bin/tessaly-decode bin/tessaly-serve share/tessaly/demo.rtcm2 share/doc/tessaly/README.md \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg \
         share/man/man1/tessaly.1.gz share/man/man1/tessaly-decode.1.gz share/man/man1/tessaly-serve.1.gz; do
  [[ -f $usr/$f ]] || fail "$f is not in the package"
done

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6network6 libqt6serialport6 libqt6dbus6; do
  [[ $depends == *"$lib "* || $depends == *"$lib," || $depends == *"$lib" ]] || fail "Depends lacks $lib: $depends"
done

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$usr/share/applications/$id.desktop" || fail "desktop-file-validate"
else
  echo "desktop-file-validate is not installed: the desktop entry is not checked"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
else
  echo "appstreamcli is not installed: the metainfo is not checked"
fi

for p in tessaly tessaly-decode tessaly-serve; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/$p" --version)
  [[ $out == "$p $version" ]] || fail "$p --version said '$out'"
  page=$(zcat "$usr/share/man/man1/$p.1.gz")
  for option in $(env -u DISPLAY "$usr/bin/$p" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    [[ $page == *"${option//-/\\-}"* ]] || fail "the man page of $p lacks $option"
  done
done

summary=$("$usr/bin/tessaly-decode" --format summary "$usr/share/tessaly/demo.rtcm2")
[[ $summary == *"frames: 582"* ]] || fail "the installed demonstration stream decodes to: $summary"

exit $failed
