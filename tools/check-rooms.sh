#!/usr/bin/env bash
# Checks that each room of core/ includes only the rooms above it (docs/code-map.md): prints every
# include that points down or sideways and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/../core"
rooms=(text files tags reports convert disc burn stick model)
rank() {
    local i
    for i in "${!rooms[@]}"; do [ "${rooms[$i]}" = "$1" ] && { echo "$i"; return; }; done
    echo -1
}
bad=0
for dir in */; do
    room=${dir%/}
    own=$(rank "$room")
    if [ "$own" -lt 0 ]; then
        echo "core/$room: a room the order does not name"; bad=1; continue
    fi
    while IFS=: read -r file _ include; do
        other=$(sed -E 's#.*"core/([a-z]+)/.*#\1#' <<<"$include")
        [ "$other" = "$room" ] && continue
        if [ "$(rank "$other")" -ge "$own" ] || [ "$(rank "$other")" -lt 0 ]; then
            echo "core/$file includes core/$other/, which $room may not"; bad=1
        fi
    done < <(grep -Hn '#include "core/' "$room"/* || true)
done
exit $bad
