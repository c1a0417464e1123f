#!/usr/bin/env bash
# Installs a build into a temporary prefix and uses it as a user and a plug-in author would:
# the installed programs run, the example brush builds out of tree against the installed SDK
# (CMake package and pkg-config file) and the installed program loads it, and the installed
# Python package imports and sculpts.
#   check_install.sh BUILD_DIR SOURCE_DIR PYTHON
set -euo pipefail
build=$(cd "$1" && pwd) source=$(cd "$2" && pwd) python=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
[ ! -e "$prefix/include/corvane" ] && [ -z "$(find "$prefix/include" -name 'patch_map.h' -o -name 'corvane.h')" ] \
  || { echo "the module's own headers were installed"; exit 1; }

# The example brush, built out of tree against the installed SDK and installed beside the modules.
cmake -S "$source/examples/plugin" -B "$work/plugin" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" > "$work/plugin.log"
cmake --build "$work/plugin" >> "$work/plugin.log"
cmake --install "$work/plugin" >> "$work/plugin.log"
listing=$("$prefix/bin/corvane-sculpt" list)
grep -q "Loaded libInflateBrush.so" <<< "$listing" || { echo "$listing"; echo "the example module was not loaded"; exit 1; }
grep -Eq "0  Inflate +Inflate \(InflateBrush\)" <<< "$listing" || { echo "$listing"; echo "no Inflate preset"; exit 1; }
grep -Eq "16  Relax " <<< "$listing" || { echo "$listing"; echo "Corvane's presets are missing"; exit 1; }
grep -Eq "0  Grab +Grab \(Drover\)" <<< "$listing" || { echo "$listing"; echo "Drover's presets are missing"; exit 1; }

# pkg-config gives flags that compile and link against the same SDK.
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name corvane.pc)")
cat > "$work/probe.cpp" <<'CPP'
#include "tarnix/class_desc.h"
#include "velder.h"
int main() { return Velder::StaticClass() == nullptr; }
CPP
# shellcheck disable=SC2046
c++ -std=c++17 -fPIC "$work/probe.cpp" -o "$work/probe" $(pkg-config --cflags --libs corvane)
"$work/probe"

# The installed program sculpts with the installed stamps, away from the build tree.
(cd "$work" && "$prefix/bin/corvane-sculpt" run "$source/examples/sphere-layers.json" --out "$work/out" > /dev/null 2>&1)
[ -s "$work/out/result.obj" ]

# The installed studio finds the installed modules: it starts, shows its window and quits.
xvfb-run -a -s "-screen 0 1280x800x24" "$prefix/bin/corvane-studio" --quit-after 1000 > "$work/studio.log" 2>&1 \
  || { cat "$work/studio.log"; echo "the installed studio did not start"; exit 1; }

# The installed Python package.
PYTHONPATH=$(dirname "$(find "$prefix" -type d -name corvane -path '*dist-packages*')") "$python" -c '
import corvane
# Every module's presets are tools, the example brush's too.
assert {"Relax", "Grab", "Inflate"} <= set(corvane.tools())
with corvane.shape("cube", subdivide=2) as s:
    assert s.stroke("Sculpt", [[0, 0, 2]], size=0.5, strength=0.1)["moved_vertices"] > 0
'
echo "installed programs, SDK with the example plug-in, and Python package: all checks passed"
