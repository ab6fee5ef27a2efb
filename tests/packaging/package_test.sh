#!/usr/bin/env bash
# Builds the Debian package of an already built tree into a temporary folder
# and checks that it holds the programs, the menu entry, the manual pages, the
# completion and the event list, with Depends taken from the Qt libraries, and
# that lintian finds no error and no warning in it.
# usage: package_test.sh CPACK BUILD_DIR VERSION
set -euo pipefail
cpack=$1 build=$2 version=$3

for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate lintian; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# gzip packs a test build faster than the release's xz.
if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work" \
        -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    exit 1
fi
debs=("$work"/korvel-kv6_"$version"_*.deb)
deb=${debs[0]}
[[ -f $deb ]] || { echo "no korvel-kv6_${version}_<arch>.deb made:"; ls "$work"; exit 1; }

failed=0
contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
for path in ./usr/bin/korvel-kv6 ./usr/bin/kv6ctl ./usr/bin/kv6sim ./usr/bin/kv6d \
        ./usr/share/man/man1/kv6d.1.gz ./usr/lib/systemd/system/kv6d.service ./usr/lib/sysusers.d/kv6d.conf \
        ./usr/share/applications/korvel-kv6.desktop ./usr/share/mime/packages/korvel-kv6.xml \
        ./usr/share/icons/hicolor/scalable/apps/korvel-kv6.svg \
        ./usr/share/man/man1/korvel-kv6.1.gz ./usr/share/man/man1/kv6ctl.1.gz ./usr/share/man/man1/kv6sim.1.gz \
        ./usr/share/bash-completion/completions/kv6ctl ./usr/share/korvel-kv6/parame \
        ./usr/share/korvel-kv6/parame.en \
        ./usr/share/korvel-kv6/translations/korvel-kv6_en.qm \
        ./usr/share/doc/korvel-kv6/copyright ./usr/share/doc/korvel-kv6/changelog.gz; do
    grep -qxF "$path" <<<"$contents" || { echo "not in the package: $path"; failed=1; }
done

depends=$(dpkg-deb --field "$deb" Depends)
for library in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6network6 libqt6sql6-sqlite; do
    grep -q "$library" <<<"$depends" || { echo "Depends lacks $library: $depends"; failed=1; }
done

dpkg-deb --extract "$deb" "$work/root"
# --version needs no display, the desktop tool's included.
for program in korvel-kv6 kv6ctl kv6sim kv6d; do
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/$program" --version 2>&1) || true
    [[ $said == "$program $version" ]] || { echo "$program --version says: $said"; failed=1; }
done
said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$work/root/usr/bin/korvel-kv6" --help 2>&1) || true
[[ $said == 'Usage: korvel-kv6 [--lang en|ru] [FILE.prg]'* ]] || { echo "korvel-kv6 --help says: $said"; failed=1; }
entry=$work/root/usr/share/applications/korvel-kv6.desktop
desktop-file-validate "$entry" || failed=1
# An English name and comment beside the Russian ones, and .prg files open in the tool.
for line in 'Name=Korvel KV6 configurator' 'Name[ru]=Конфигуратор Korvel KV6' 'Exec=korvel-kv6 %f' \
        'Comment=Read, change and write the settings of the Korvel KV6 GSM/GPRS module; its event log' \
        'Comment[ru]=Чтение, изменение и запись настроек GSM/GPRS модуля Korvel KV6, журнал событий' \
        'MimeType=application/x-korvel-kv6-prg;'; do
    grep -qxF "$line" "$entry" || { echo "the desktop entry lacks: $line"; failed=1; }
done
grep -q '<glob pattern="\*.prg"/>' "$work/root/usr/share/mime/packages/korvel-kv6.xml" ||
    { echo "the MIME type does not take *.prg"; failed=1; }
# The pages come from the programs' own --help.
zcat "$work/root/usr/share/man/man1/kv6ctl.1.gz" | grep -q 'protocol trace' ||
    { echo "kv6ctl.1 does not describe --trace"; failed=1; }
zcat "$work/root/usr/share/man/man1/kv6ctl.1.gz" | grep -q 'kv6ctl keys' ||
    { echo "kv6ctl.1 does not describe kv6ctl keys"; failed=1; }
zcat "$work/root/usr/share/man/man1/kv6sim.1.gz" | grep -q 'drop\\-every' ||
    { echo "kv6sim.1 does not describe --drop-every"; failed=1; }
# Informational tags (a Debug build fortifies nothing) do not count.
if ! said=$(lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>&1); then
    echo "lintian finds errors or warnings:"
    failed=1
fi
grep -v 'root privileges' <<<"$said" || true
exit $failed
