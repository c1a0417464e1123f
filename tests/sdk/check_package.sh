#!/usr/bin/env bash
# Makes the Debian package of a build with CPack and checks it without installing it on this
# machine: its metadata and dependencies (dpkg-deb), that apt could install it here (apt-get
# --simulate), that it holds the programs, modules, stamps, SDK and Python package under /usr,
# and that corvane-sculpt runs from the unpacked tree.
#   check_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd) source=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" > "$work/cpack.log") \
  || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/corvane_*.deb)
info=$(dpkg-deb --info "$deb")
grep -q "Package: corvane" <<< "$info"
for dependency in libassimp5 libqt5core5a libosdcpu3 libembree3 python3-numpy; do
  grep -E "^ Depends:.*$dependency" <<< "$info" > /dev/null || { echo "$info"; echo "no dependency on $dependency"; exit 1; }
done

contents=$(dpkg-deb --contents "$deb")
for path in usr/bin/corvane-sculpt "usr/lib/(.*/)?libTarnixFramework.so" "usr/lib/(.*/)?corvane/plugins/libCorvane.so" \
            "usr/lib/(.*/)?corvane/plugins/libVelder.so" usr/share/corvane/resources/Stamps/knife.tif \
            usr/include/tarnix/brush_operation.h usr/include/velder/velder.h "usr/lib/(.*/)?cmake/Corvane/CorvaneConfig.cmake" \
            "usr/lib/(.*/)?pkgconfig/corvane.pc" usr/lib/python3/dist-packages/corvane/__init__.py \
            "usr/lib/python3/dist-packages/corvane/_corvane.*\.so"; do
  grep -Eq " \./$path\$" <<< "$contents" || { echo "$contents"; echo "missing $path"; exit 1; }
done

# apt resolves the dependencies from the machine's sources without installing anything.
apt-get install --simulate --no-install-recommends "$deb" > "$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }

# Unpacked anywhere, the program finds its modules and stamps relative to itself.
dpkg-deb --extract "$deb" "$work/root"
"$work/root/usr/bin/corvane-sculpt" list | grep -q "16  Relax "
(cd "$work" && "$work/root/usr/bin/corvane-sculpt" run "$source/examples/sphere-layers.json" --out "$work/out" > /dev/null 2>&1)
[ -s "$work/out/result.obj" ]
PYTHONPATH="$work/root/usr/lib/python3/dist-packages" /usr/bin/python3 -c 'import corvane; assert "Relax" in corvane.tools()'
echo "Debian package $(basename "$deb"): all checks passed"
