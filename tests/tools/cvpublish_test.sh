#!/usr/bin/env bash
# The publisher tool from outside: add, list and extract round trip, refusal of a second
# payload, --replace, damaged and unsafe payloads.
#   cvpublish_test.sh PATH-TO-cvpublish
set -uo pipefail
tool="${1:?usage: cvpublish_test.sh PATH-TO-cvpublish}"
tool="$(cd "$(dirname "$tool")" && pwd)/$(basename "$tool")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() { echo "FAIL (line ${BASH_LINENO[0]}): $*" >&2; failures=$((failures + 1)); }
expect_exit() {  # expected-code command...
    local expected="$1"; shift
    "$@" >out.txt 2>err.txt
    local code=$?
    [ "$code" -eq "$expected" ] || fail "$* exited $code, expected $expected: $(cat err.txt)"
}
expect_same() { cmp -s "$1" "$2" || fail "$1 and $2 differ"; }

# An image, a description with CRLF line ends, a binary file crossing copy chunks, an empty
# file and a file for a subdirectory.
head -c 4099 /dev/urandom >image.exe
cp image.exe app.exe
mkdir -p src/deep
printf '[defs]\r\ncomponents=a\r\n' >src/tarrock.inf
head -c 70000 /dev/urandom >src/data.bin
: >src/empty
printf 'nested' >src/deep/n.txt

# add, then list in its exact format
expect_exit 0 "$tool" add app.exe src/tarrock.inf=tarrock.inf src/data.bin src/empty \
    src/deep/n.txt=sub/deep/n.txt
printf '22\ttarrock.inf\n70000\tdata.bin\n0\tempty\n6\tsub\\deep\\n.txt\n' >expected.txt
expect_exit 0 "$tool" list app.exe
expect_same expected.txt out.txt

# the trailer: payloadStart is the image size, then the marker
trailer="$(tail -c 16 app.exe | od -An -tx1 | tr -d ' \n')"
expected_start="$(printf '%08x' 4099 | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/')"
marker="$(printf 'RivUdov Data' | od -An -tx1 | tr -d ' \n')"
[ "$trailer" = "$expected_start$marker" ] || fail "trailer is $trailer"
head -c 4099 app.exe >image-part.exe
expect_same image.exe image-part.exe

# extract: byte-identical files, subdirectories from backslashes
expect_exit 0 "$tool" extract app.exe out
expect_same src/tarrock.inf out/tarrock.inf
expect_same src/data.bin out/data.bin
expect_same src/empty out/empty
expect_same src/deep/n.txt out/sub/deep/n.txt

# a second add is refused and leaves the file alone
cp app.exe before.exe
expect_exit 1 "$tool" add app.exe src/empty
grep -q -- '--replace' err.txt || fail "refusal does not mention --replace: $(cat err.txt)"
expect_same before.exe app.exe

# --replace drops the old payload: the image stays, only the new record is listed
expect_exit 0 "$tool" add --replace app.exe src/deep/n.txt=only.txt
expect_exit 0 "$tool" list app.exe
printf '6\tonly.txt\n' >expected.txt
expect_same expected.txt out.txt
[ "$(stat -c %s app.exe)" -eq $((4099 + 8 + 9 + 6 + 16)) ] || fail "replaced file has a wrong size"
head -c 4099 app.exe >image-part.exe
expect_same image.exe image-part.exe
# --replace on a file without a payload simply adds
cp image.exe fresh.exe
expect_exit 0 "$tool" add --replace fresh.exe src/empty
expect_exit 0 "$tool" list fresh.exe
printf '0\tempty\n' >expected.txt
expect_same expected.txt out.txt

# no payload
expect_exit 0 "$tool" list image.exe
printf 'no payload\n' >expected.txt
expect_same expected.txt out.txt

# unsafe names are refused by add, and nothing is appended
for name in ../x '\abs' /abs 'c:x' 'a/../../x' ''; do
    cp image.exe unsafe.exe
    expect_exit 1 "$tool" add unsafe.exe "src/empty=$name"
    expect_same image.exe unsafe.exe
done

# damaged payloads: list and extract fail with a message, extract writes nothing
damage() {  # output name-length content-size name
    cp image.exe "$1"
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x\\x%02x\\x%02x\\xff\\xff' \
        $(($3 & 255)) $((($3 >> 8) & 255)) $((($3 >> 16) & 255)) $((($3 >> 24) & 255)) \
        $(($2 & 255)) $((($2 >> 8) & 255)))" >>"$1"
    printf '%s\0' "$4" >>"$1"
    tail -c 16 before.exe >>"$1"
}
damage bad-length.exe 0 0 x.txt
damage past-end.exe 6 1000 x.txt
damage escaping.exe 9 0 ..\\x.txt
for exe in bad-length.exe past-end.exe escaping.exe; do
    expect_exit 1 "$tool" list "$exe"
    grep -q 'damaged payload' err.txt || fail "$exe: no message: $(cat err.txt)"
    expect_exit 1 "$tool" extract "$exe" "bad-$exe"
    [ ! -e "bad-$exe" ] && [ ! -e x.txt ] || fail "$exe: extract wrote files"
done

# usage errors and help
expect_exit 2 "$tool"
expect_exit 2 "$tool" frobnicate
expect_exit 2 "$tool" add app.exe
expect_exit 0 "$tool" --help
for word in add list extract --replace; do
    grep -q -- "$word" out.txt || fail "help does not explain $word"
done
expect_exit 0 "$tool" help

if [ "$failures" -ne 0 ]; then
    echo "cvpublish_test: $failures failure(s)" >&2
    exit 1
fi
echo "cvpublish_test: all checks passed"
