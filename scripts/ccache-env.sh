# Sourced by the build scripts: ccache settings under which builds of the
# same sources in different folders (worktrees, build-asan/, build-tsan/)
# share cache entries. Expects $root, the repository's top directory.
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=1
export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros}"
