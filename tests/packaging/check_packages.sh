#!/usr/bin/env bash
# Checks what scripts/package made in dist/ without installing it on this
# machine: the Debian packages extracted into a temporary root and run from
# there, their validators and lintian; the Windows installer in a Wine
# prefix of its own, installed, run and uninstalled silently.
#   tests/packaging/check_packages.sh LINUX-BUILD WINDOWS-BUILD
# Both builds with their tests: the shell tests start the installed program.
# KEEP=1 leaves the scratch folder (the root, the Wine prefix) to look at.
set -euo pipefail
cd "$(dirname "$0")/../.."
linux=$(realpath "$1")
windows=$(realpath "$2")
dist=$PWD/dist
version=$(sed -n 's/.*VALUE "ProductVersion", "\([0-9.]*\)".*/\1/p' src/res/molvar.rc)
scratch=$(mktemp -d)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$scratch"' EXIT
fail() { echo "check_packages: $*" >&2; exit 1; }
step() { echo "check_packages: $*"; }

step "lintian and the validators"
lintian --fail-on error "$dist"/molvar_*.deb "$dist"/molvar-desktop_*.deb
root=$scratch/root
for package in "$dist"/molvar_*.deb "$dist"/molvar-desktop_*.deb; do dpkg-deb -x "$package" "$root"; done
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

step "the extracted molvar watches, runs a setting's program and ends on SIGTERM"
MOLVAR_INSTALLED_EXECUTABLE=$root/usr/bin/molvar "$linux/tests/shell_tests" \
  --gtest_filter=MolvarTest.WatchesRunsTheProgramForEachFileQuitsAndStartsAgain >"$scratch/linux.txt" ||
  { cat "$scratch/linux.txt"; fail "the installed molvar failed"; }
grep -q '^\[  PASSED  \] 1 test' "$scratch/linux.txt" || { cat "$scratch/linux.txt"; fail "the test did not run"; }

step "the extracted molvar loads its Qt module, and goes headless for want of a tray"
# The help page, where the program looks for it in an installed tree.
[ -f "$root/usr/share/molvar/molvar.html" ] || fail "no help page at usr/share/molvar"
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LD_LIBRARY_PATH DISPLAY=:9999 XDG_CONFIG_HOME="$scratch/config" \
  "$root/usr/bin/molvar" 2>"$scratch/stderr" &
molvar=$!
for _ in $(seq 200); do grep -q 'no system tray' "$scratch/stderr" && break; sleep 0.1; done
kill -TERM "$molvar"
wait "$molvar" || fail "molvar ended with status $?"
! grep -q 'desktop module cannot be loaded' "$scratch/stderr" || fail "$(cat "$scratch/stderr")"
grep -q 'no system tray' "$scratch/stderr" || fail "no word of the tray: $(cat "$scratch/stderr")"

step "the Windows installer under Wine"
wine=$(sed -n 's/^MOLVAR_WINE:FILEPATH=//p' "$windows/CMakeCache.txt")
wineserver=$(sed -n 's/^MOLVAR_WINESERVER:FILEPATH=//p' "$windows/CMakeCache.txt")
# A prefix of its own, the null graphics driver, and no menu entries made
# for the Linux desktop.
export WINEPREFIX=$scratch/wine WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d'
unset DISPLAY WAYLAND_DISPLAY
run() { sh cmake/wine-run.sh "$wineserver" "$wine" "$@"; }
entry='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Molvar3'
run "$dist/Molvar-$version-setup.exe" /S || fail "the silent install ended with status $?"
run reg query "$entry" | tr -d '\r' >"$scratch/entry"
for value in "DisplayName.*Molvar" "DisplayVersion.*$version" 'DisplayIcon.*Molvar3.exe' 'EstimatedSize.*0x' \
             'UninstallString.*uninstall.exe"$' 'QuietUninstallString.*uninstall.exe" /S' 'NoModify.*0x1' \
             'NoRepair.*0x1'; do
  grep -q "$value" "$scratch/entry" || fail "the uninstall entry has no $value: $(cat "$scratch/entry")"
done
folder=$(sed -n 's/.*InstallLocation *REG_SZ *//p' "$scratch/entry")
[[ $folder == *'\AppData\Local\Programs\Molvar' ]] || fail "installed into $folder"
unix_folder=$(run winepath -u "$folder" | tr -d '\r')
user=${unix_folder%/AppData/Local/Programs/Molvar}
programs="$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
for file in "$unix_folder/Molvar3.exe" "$unix_folder/Molvar3.html" "$unix_folder/uninstall.exe" \
            "$programs/Molvar (フォルダ監視).lnk"; do
  [ -f "$file" ] || fail "not installed: $file"
done

# The installed program makes its tray window, saves the list with the start
# with Windows ticked (the Startup link, the settings, the profile) and quits.
MOLVAR_INSTALLED_EXECUTABLE="$folder\\Molvar3.exe" run "$windows/tests/shell_tests.exe" \
  --gtest_filter=MolvarTest.TheTrayFrameOpensTheListDialogWhoseSaveWritesSettingsProfileAndShortcut \
  >"$scratch/windows.txt" || { cat "$scratch/windows.txt"; fail "the installed Molvar3.exe failed"; }
grep -q '^\[  PASSED  \] 1 test' "$scratch/windows.txt" || { cat "$scratch/windows.txt"; fail "the test did not run"; }
startup=$(find "$programs" -maxdepth 2 -ipath '*/startup/molvar.lnk')
[ -n "$startup" ] || fail "the program made no Startup link"

# A running copy stops a silent install with a status of its own. Until its
# mutex is there the setup installs again, or finds the executable in use.
run "$unix_folder/Molvar3.exe" &
status=0
for _ in $(seq 100); do
  run "$dist/Molvar-$version-setup.exe" /S && status=0 || status=$?
  [ "$status" -eq 3 ] && break
  sleep 0.2
done
"$wineserver" -k || true
wait || true
[ "$status" -eq 3 ] || fail "a silent install beside a running copy ended with status $status"

run "$unix_folder/uninstall.exe" /S || fail "the silent uninstall ended with status $?"
# The uninstaller runs on from a copy of itself: the folder's end is its end.
for _ in $(seq 150); do [ -e "$unix_folder" ] || break; sleep 0.2; done
for gone in "$unix_folder" "$programs/Molvar (フォルダ監視).lnk" "$startup"; do
  [ ! -e "$gone" ] || fail "left after the uninstall: $gone"
done
! run reg query "$entry" >/dev/null 2>&1 || fail "the uninstall entry is left"
[ -f "$user/AppData/Roaming/TORVEL/Molvar3/obsdat/dirinfo.dat" ] || fail "the settings went with the uninstall"
run reg query 'HKCU\Software' /s | grep -q nStart || fail "the profile went with the uninstall"
step "all passed"
