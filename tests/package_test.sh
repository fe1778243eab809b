#!/usr/bin/env bash
# The Debian package as a user's machine takes it: made by CPack from the build, its
# control data and files checked, passed by lintian, unpacked into a scratch root,
# its examples validated, and its program run from there through end-to-end cases.
# usage: package_test.sh BUILD_DIR END_TO_END_TESTS VERSION
set -euo pipefail
build=$1
end_to_end=$2
version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$scratch/packages" >/dev/null)
deb=$(echo "$scratch"/packages/*.deb)
[ -f "$deb" ] || fail "CPack made no package"

info=$(dpkg-deb --info "$deb")
echo "$info"
grep -qx " Package: brassowlet-monitor" <<<"$info" || fail "package name"
grep -qx " Version: $version" <<<"$info" || fail "version $version"
# Worked out from the program by dpkg-shlibdeps.
grep -qE '^ Depends: .*libc6 \(>= [0-9.]+\)' <<<"$info" || fail "no versioned libc6 dependency"
grep -qE '^ Depends: .*libxcb1' <<<"$info" || fail "no libxcb1 dependency"

contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
echo "$contents"
doc=/usr/share/doc/brassowlet-monitor
for file in /usr/bin/BrassOwletMonitor /usr/share/man/man1/BrassOwletMonitor.1.gz \
  "$doc/README.md" "$doc/copyright" "$doc/changelog.gz" \
  "$doc/examples/BrassOwletMonitor.desktop" "$doc/examples/brassowlet-monitor@.service"; do
  grep -qxF ".$file" <<<"$contents" || fail "$file is not in the package"
done
! grep -q "BrassOwlet.exe" <<<"$contents" || fail "the companion is in the package"

lintian --fail-on error,warning "$deb" || fail "lintian"

root=$scratch/root
dpkg -x "$deb" "$root"
warnings=$(zcat "$root/usr/share/man/man1/BrassOwletMonitor.1.gz" | groff -ww -z -man 2>&1)
[ -z "$warnings" ] || fail "the installed manual page: $warnings"
desktop-file-validate "$root$doc/examples/BrassOwletMonitor.desktop" || fail "the autostart entry"

# The unit as an instance for /opt/BrassOwlet, started from the scratch root.
units=$scratch/units
mkdir -p "$units"
sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$root$doc/examples/brassowlet-monitor@.service" \
  >"$units/brassowlet-monitor@.service"
systemd-analyze verify "$units/brassowlet-monitor@$(systemd-escape --path /opt/BrassOwlet).service" ||
  fail "the systemd unit"

# A good run and a failed start, by the installed program.
BRASSOWLET_MONITOR=$root/usr/bin/BrassOwletMonitor "$end_to_end" \
  --gtest_filter='EndToEnd.WindowMissingStartsTheCompanion*:EndToEnd.CompanionMissingReportsError2*' |
  tee "$scratch/end_to_end.txt"
grep -q '^\[  PASSED  \] 2 tests' "$scratch/end_to_end.txt" || fail "the end-to-end cases"
