# Sourced by the build scripts from the checkout's top folder. ccache, when installed, keeps
# compiled objects for every build folder and clone (~/.cache/ccache); paths are taken relative to
# the checkout, so that another clone of the same sources finds them too.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
fi
