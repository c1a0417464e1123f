#!/usr/bin/env bash
# Installs every Debian 12 package that the build, the tests, the benchmarks and the
# programs need. Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  ccache                 # compiler cache: cheap rebuilds (used when present)
  clang-format           # scripts/check-format.sh: the code is formatted as .clang-format says
  qtbase5-dev            # Qt 5 Core: the module's only external dependency
  libgtest-dev libgmock-dev
  libbenchmark-dev
  libcli11-dev           # command lines of the host programs
  nlohmann-json3-dev     # the host program's reports (and sessions)
  libtinyobjloader-dev   # OBJ files in
  libassimp-dev          # PLY, STL, glTF and FBX files in and out
  python3-dev pybind11-dev python3-numpy  # the Python package
  python3-pytest         # its tests
  python3-matplotlib     # examples/python plots with it
  dpkg-dev file          # cpack -G DEB finds the package's dependencies (dpkg-shlibdeps)
  libosd-dev             # OpenSubdiv: the host's subdivision hierarchy
  libembree-dev          # Embree: the host's ray casts and spatial queries
  libtbb-dev             # oneTBB: the thread count of the host programs' (and Embree's) work
  libopenimageio-dev     # OpenImageIO: stamp images and pictures
  openimageio-tools      # oiiotool: scripts/make-stamps.py converts the stamps with it
  fonts-dejavu-core      # DejaVu Sans: the labels of the host programs' pictures
  # corvane-studio: Qt 5 Widgets, OpenGL, Concurrent and Test come with qtbase5-dev; its tests
  # run under a virtual X server with Mesa's software OpenGL.
  xvfb xauth libgl1-mesa-dri libglx-mesa0
  xdotool                # the studio test that kills a running studio drags its mouse first
  clang libclang-rt-14-dev  # the libFuzzer targets (scripts/fuzz.sh): clang 14 and its fuzzer runtime
)

if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${packages[@]}"
