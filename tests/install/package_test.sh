#!/usr/bin/env bash
# The .deb that cpack makes: files where Debian looks for them, library
# dependencies filled in, desktop entry and metainfo accepted by their
# validators, man pages that name every option of --help, programs that
# run from the unpacked tree, and the network monitor's service unit and
# example configuration (a conffile) fit to use.
#   package_test.sh BUILD_DIR VERSION CONFIG
# CONFIG: where the package puts the monitor's configuration.
set -uo pipefail
build=$1 version=$2 config=$3
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
         share/man/man1/tessaly.1.gz share/man/man1/tessaly-decode.1.gz share/man/man1/tessaly-serve.1.gz \
         bin/tessaly-monitord share/man/man8/tessaly-monitord.8.gz lib/systemd/system/tessaly-monitord.service \
         share/tessaly/prometheus/prometheus.yml share/tessaly/prometheus/tessaly-alerts.yml; do
  [[ -f $usr/$f ]] || fail "$f is not in the package"
done
[[ -f $work/root$config ]] || fail "$config is not in the package"
[[ $(dpkg-deb -I "$deb" conffiles) == "$config" ]] || fail "the conffiles are not just $config"
unit=$usr/lib/systemd/system/tessaly-monitord.service
[[ $(grep '^ExecStart=' "$unit") == "ExecStart=tessaly-monitord --config $config" ]] || fail "the unit's ExecStart"
for key in DynamicUser=yes ProtectSystem=strict NoNewPrivileges=yes Restart=on-failure Type=notify LimitNOFILE=; do
  grep -q "^$key" "$unit" || fail "the unit lacks $key"
done
out=$("$usr/bin/tessaly-monitord" --check --config "$work/root$config") || fail "the example configuration: $out"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6network6 libqt6serialport6 libqt6dbus6 libqt6httpserver6 libsystemd0; do
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

for p in tessaly tessaly-decode tessaly-serve tessaly-monitord; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/$p" --version)
  [[ $out == "$p $version" ]] || fail "$p --version said '$out'"
  section=1
  [[ $p == tessaly-monitord ]] && section=8
  page=$(zcat "$usr/share/man/man$section/$p.$section.gz")
  for option in $(env -u DISPLAY "$usr/bin/$p" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    [[ $page == *"${option//-/\\-}"* ]] || fail "the man page of $p lacks $option"
  done
done

summary=$("$usr/bin/tessaly-decode" --format summary "$usr/share/tessaly/demo.rtcm2")
[[ $summary == *"frames: 582"* ]] || fail "the installed demonstration stream decodes to: $summary"

exit $failed
