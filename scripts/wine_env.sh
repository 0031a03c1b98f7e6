# Wine as every script here runs it; sourced, not run:
#   source "$root/scripts/wine_env.sh"
# Uses the project's prefix, build/wineprefix (scripts/wine_prefix.sh creates
# it), says nothing, and never offers to install mono or gecko.

WINEPREFIX=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wineprefix
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES

# Every wine call gets all three streams redirected: Wine's background
# services inherit them and would keep whoever reads our output waiting.
quiet() { "$@" </dev/null >/dev/null 2>&1; }

# A persistent wineserver, warmed up by one program: later wine calls start
# fast, and none of them leaves a server holding a caller's streams.
# `quiet wineserver -k` ends it.
wine_warm_up() {
    quiet wineserver -p
    quiet wine cmd /c exit
}
