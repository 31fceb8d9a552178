# Sourced by the tool tests: the package checksum from md5sum, the first four digest bytes
# read as a little-endian signed 32-bit number.
checksum() {
    local hex
    hex="$(md5sum <"$1" | cut -c1-8)"
    local value=$((16#${hex:6:2}${hex:4:2}${hex:2:2}${hex:0:2}))
    [ "$value" -ge 2147483648 ] && value=$((value - 4294967296))
    echo "$value"
}
