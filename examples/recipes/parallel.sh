printf '%s\0' *.s | xargs -0 -P 8 -n 1 sh -c 'err=$(nestasm "$1" 2>&1 > /dev/null) || { echo "$1: $err" >&2; exit 1; }' sh
