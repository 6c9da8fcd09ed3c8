# Sourced by the port tests: configures and builds a CMake project twice, for the platform
# with the SDK's toolchain file (Release) and natively (CMake's default flags, quicker to
# build: the native side only gives the output to compare), under WORK/platform and
# WORK/native. A build directory that is already configured is only brought up to date.
# usage: build_both SOURCE WORK TOOLCHAIN [cmake arguments...] -- [targets...]
build_both() {
  local source=$1 work=$2 toolchain=$3
  shift 3
  local arguments=() targets=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do arguments+=("$1"); shift; done
  [ $# -gt 0 ] && shift
  targets=("$@")
  local side
  for side in platform native; do
    local extra=()
    [ $side = platform ] && extra=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release)
    if [ ! -f "$work/$side/CMakeCache.txt" ]; then
      cmake -S "$source" -B "$work/$side" -G Ninja "${extra[@]}" \
        "${arguments[@]}" >"$work/$side.configure.log" 2>&1 ||
        { echo "configuring the $side build failed:"; tail -30 "$work/$side.configure.log"; return 1; }
    fi
    # The SDK's archives are no dependency CMake sees: when they changed since the last
    # build, the platform side is built again from clean, so that no program is stale.
    local sdk_lib stamp=$work/$side/sdk-libraries.stamp
    sdk_lib=$(dirname "$toolchain")/../../lib
    if [ $side = platform ] && [ -f "$stamp" ] &&
       [ -n "$(find "$sdk_lib" -newer "$stamp" -print -quit)" ]; then
      cmake --build "$work/$side" --target clean >/dev/null 2>&1
    fi
    local target_arguments=()
    [ ${#targets[@]} -gt 0 ] && target_arguments=(--target "${targets[@]}")
    cmake --build "$work/$side" "${target_arguments[@]}" >"$work/$side.build.log" 2>&1 ||
      { echo "building for $side failed:"; tail -30 "$work/$side.build.log"; return 1; }
    if [ $side = platform ]; then touch "$stamp"; fi
  done
}
