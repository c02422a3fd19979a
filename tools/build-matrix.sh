#!/usr/bin/env bash
# Configures and builds every target with warnings as errors in five
# configurations, each afresh in its own folder under the given directory
# (default /tmp/lq-matrix), and prints one line per configuration.  The build
# output of each is in <directory>/<name>.log.  Exits 1 when any failed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
tools/install-deps.sh || exit 1
out=${1:-/tmp/lq-matrix}
mkdir -p "$out" || exit 1

debian_cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
debian_ldflags=$(dpkg-buildflags --get LDFLAGS)
# name, C compiler, C++ compiler, build type, CXXFLAGS, LDFLAGS
configs=(
  "release        gcc   g++     Release"
  "relwithdebinfo gcc   g++     RelWithDebInfo"
  "debug          gcc   g++     Debug"
  "debian         gcc   g++     None debian"
  "clang          clang clang++ Release"
)

failed=0
for config in "${configs[@]}"; do
  read -r name cc cxx type debian <<<"$config"
  cxxflags="" ldflags=""
  if [[ -n $debian ]]; then cxxflags=$debian_cxxflags ldflags=$debian_ldflags; fi
  flags="CMAKE_BUILD_TYPE=$type${cxxflags:+ CXXFLAGS='$cxxflags'}${ldflags:+ LDFLAGS='$ldflags'}"
  if CXXFLAGS=$cxxflags LDFLAGS=$ldflags cmake --fresh -S . -B "$out/$name" -G Ninja \
       -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
       -DCMAKE_BUILD_TYPE="$type" -DLQ_WERROR=ON >"$out/$name.log" 2>&1 &&
     cmake --build "$out/$name" -j4 >>"$out/$name.log" 2>&1; then
    result=ok
  else
    result=FAILED failed=1
  fi
  printf '%-15s %-15s %s  %s\n' "$name" "$cxx $("$cxx" -dumpversion 2>/dev/null)" "$flags" "$result"
done
exit "$failed"
