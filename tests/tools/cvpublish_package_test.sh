#!/usr/bin/env bash
# The publisher's package, verify and scramble commands from outside: a file cut into parts
# and joined again, the manifest's exact text with checksums derived from md5sum, verify
# finding corrupted parts and totals, the scrambled password text, and check --package
# comparing a description with its published package.
#   cvpublish_package_test.sh PATH-TO-cvpublish
set -uo pipefail
# shellcheck source=package_checksum.sh
. "$(dirname "${BASH_SOURCE[0]}")/package_checksum.sh"
tool="${1:?usage: cvpublish_package_test.sh PATH-TO-cvpublish}"
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
    [ "$code" -eq "$expected" ] ||
        fail "$* exited $code, expected $expected: $(cat out.txt err.txt)"
}
expect_same() { cmp -s "$1" "$2" || fail "$1 and $2 differ"; }
expect_in() { grep -q -- "$1" "$2" || fail "\"$1\" not in $2: $(cat "$2")"; }
expect_not_in() { ! grep -q -- "$1" "$2" || fail "\"$1\" in $2: $(cat "$2")"; }


# The manifest the installer expects for the files given as parts, CRLF line ends.
expected_manifest() {  # whole-file part...
    local whole="$1"; shift
    local n=0 part
    printf '[files]\r\n'
    for part in "$@"; do
        printf 'file%03d.bin=%d\r\n' "$n" "$(stat -c %s "$part")"
        n=$((n + 1))
    done
    printf '\r\n[sums]\r\n'
    n=0
    for part in "$@"; do
        printf 'file%03d.bin=%d\r\n' "$n" "$(checksum "$part")"
        n=$((n + 1))
    done
    printf 'total_sum=%d\r\n' "$(checksum "$whole")"
}

# A file of three and a half parts of 64 KiB.
head -c $((65536 * 7 / 2)) /dev/urandom >data.bin
expect_exit 0 "$tool" package --part-size 64K data.bin pkg
for n in 0 1 2; do
    [ "$(stat -c %s pkg/file00$n.bin)" -eq 65536 ] || fail "file00$n.bin is not 64 KiB"
done
[ "$(stat -c %s pkg/file003.bin)" -eq 32768 ] || fail "file003.bin is not 32 KiB"
[ ! -e pkg/file004.bin ] || fail "a fifth part was written"
cat pkg/file000.bin pkg/file001.bin pkg/file002.bin pkg/file003.bin >joined.bin
expect_same data.bin joined.bin
expected_manifest data.bin pkg/file00{0,1,2,3}.bin >expected.txt
expect_same expected.txt pkg/pkginfo.txt
expect_exit 0 "$tool" verify pkg
expect_in "4 part(s), 229376 bytes" out.txt

# One corrupted byte fails that part (and the total), naming the part and no other.
cp -r pkg bad
byte="$(dd if=pkg/file002.bin bs=1 skip=1000 count=1 status=none | od -An -tu1 | tr -d ' ')"
printf "\\$(printf '%03o' $(((byte + 1) % 256)))" |
    dd of=bad/file002.bin bs=1 seek=1000 conv=notrunc status=none
cmp -s pkg/file002.bin bad/file002.bin && fail "the corruption changed nothing"
expect_exit 1 "$tool" verify bad
expect_in "bad/file002.bin: checksum is" out.txt
expect_in "total_sum is" out.txt
expect_not_in "file000.bin\|file001.bin\|file003.bin" out.txt
[ "$(wc -l <out.txt)" -eq 2 ] || fail "expected two problem lines: $(cat out.txt)"

# A changed total_sum, a missing total_sum, a part cut short, a missing part.
rm -rf bad && cp -r pkg bad
sed -i 's/^total_sum=.*/total_sum=12345\r/' bad/pkginfo.txt
expect_exit 1 "$tool" verify bad
expect_in "total_sum is 12345" out.txt
expect_not_in "file00" out.txt
sed -i '/^total_sum=/d' bad/pkginfo.txt
expect_exit 1 "$tool" verify bad
expect_in "no total_sum" out.txt
rm -rf bad && cp -r pkg bad
truncate -s 100 bad/file001.bin
rm bad/file003.bin
expect_exit 1 "$tool" verify bad
expect_in "bad/file001.bin: size is 100 bytes, \[files\] lists 65536" out.txt
expect_in "bad/file003.bin: missing" out.txt
# A listed part larger than the first one is refused by the installer.
rm -rf bad && cp -r pkg bad
sed -i 's/^file000.bin=65536\r$/file000.bin=100\r/' bad/pkginfo.txt
expect_exit 1 "$tool" verify bad
expect_in "file001.bin: listed size 65536 exceeds the part size 100" out.txt
expect_exit 1 "$tool" verify nothing-here
expect_in "pkginfo.txt: cannot be read" out.txt

# An empty file: no parts, total_sum of no bytes; verify accepts it.
: >empty.bin
expect_exit 0 "$tool" package empty.bin emptypkg
expected_manifest empty.bin >expected.txt
expect_same expected.txt emptypkg/pkginfo.txt
[ ! -e emptypkg/file000.bin ] || fail "an empty file gave a part"
expect_exit 0 "$tool" verify emptypkg

# Sizes around the part size, default part size of 1 MiB, checksums against md5sum.
for size in 1 63 64 65 1048575 1048576 1048577 2097152; do
    head -c "$size" /dev/urandom >sized.bin
    rm -rf sized
    expect_exit 0 "$tool" package sized.bin sized
    parts=(sized/file*.bin)
    expected_manifest sized.bin "${parts[@]}" >expected.txt
    expect_same expected.txt sized/pkginfo.txt
    [ "${#parts[@]}" -eq $(((size + 1048575) / 1048576)) ] || fail "$size bytes: ${#parts[@]} parts"
    cat "${parts[@]}" >joined.bin
    expect_same sized.bin joined.bin
    expect_exit 0 "$tool" verify sized
done

# Part sizes that are refused.
for size in 0 -1 abc 12X 129M 4294967296; do
    expect_exit 2 "$tool" package --part-size "$size" data.bin refused
done
[ ! -e refused ] || fail "a refused command created its directory"
expect_exit 2 "$tool" package data.bin
expect_exit 1 "$tool" package no-such-file pkg2
expect_exit 1 "$tool" package --part-size 1 data.bin toomany
# The largest package the installer takes is 2 GiB - 1 bytes (sparse files here).
truncate -s 2147483648 huge.bin
expect_exit 1 "$tool" package --part-size 128M huge.bin hugepkg
expect_in "2147483648 bytes in 16 parts; a package holds less than 2 GiB" err.txt

# scramble: the "()" alphabet in whole groups, different each run, bounded by what the
# installer reads. (Its round trip is checked by the command itself and by the unit tests.)
alphabet_only() { [[ "$1" =~ ^[A-Za-z0-9()]*={0,2}$ ]] && [ $((${#1} % 4)) -eq 0 ]; }
for password in "" "secret" "pass word:@/" "$(printf '\xe4\xf6\xfc\xdf\xff')" \
    "$(head -c 68 /dev/zero | tr '\0' 'p')"; do
    expect_exit 0 "$tool" scramble "$password"
    scrambled="$(cat out.txt)"
    alphabet_only "$scrambled" || fail "scrambled \"$password\" is \"$scrambled\""
    bytes="$(printf '%s' "$password" | wc -c)"
    [ "${#scrambled}" -eq $((4 * ((bytes + 4 + 2) / 3))) ] ||
        fail "scrambled \"$password\" has length ${#scrambled}"
done
expect_exit 0 "$tool" scramble secret
first="$(cat out.txt)"
expect_exit 0 "$tool" scramble secret
[ "$first" != "$(cat out.txt)" ] || fail "two scrambles of one password are equal"
expect_exit 1 "$tool" scramble "$(head -c 69 /dev/zero | tr '\0' 'p')"
expect_exit 2 "$tool" scramble
expect_exit 2 "$tool" scramble a b

# Help: each command's own and the tool's.
for command in package verify scramble check; do
    expect_exit 0 "$tool" "$command" --help
    expect_in "^cvpublish $command " out.txt
done
expect_exit 0 "$tool" --help
for command in package verify scramble check; do expect_in "^cvpublish $command " out.txt; done

# check --package: a published package matching its description is clean, found as the
# package itself or below a server root at SourceDir; a missing or short part is an
# error, a size that is not the package's size in KB a warning.
head -c 10000 /dev/urandom >client.bin
"$tool" package --part-size 4K client.bin 'root/pub\client' >/dev/null
printf '[defs]\ncomponents=c\n[c]\nname=C\nProtocol=http\nsite=h\nsourceDir=pub\\client\nfiles=client.bin\nsize=10\n' >c.inf
expect_exit 0 "$tool" check c.inf --package root
expect_exit 0 "$tool" check c.inf --package 'root/pub\client'
sed 's/size=10/size=9/' c.inf >c9.inf
expect_exit 1 "$tool" check c9.inf --package root
expect_in "c9.inf:9: warning: .*10000 bytes (size=10)" out.txt
head -c 100 'root/pub\client/file001.bin' >short.bin && mv short.bin 'root/pub\client/file001.bin'
rm 'root/pub\client/file002.bin'
expect_exit 2 "$tool" check c.inf --package root
expect_in "file001.bin holds 100 bytes, pkginfo.txt lists 4096" out.txt
expect_in "file002.bin is missing" out.txt
expect_exit 2 "$tool" check c.inf --package empty-dir
expect_in "no pkginfo.txt in empty-dir" out.txt
expect_exit 2 "$tool" check no-such.inf
expect_exit 2 "$tool" check c.inf --pack root

# A manifest listing more than the installer takes is an error, not a wrapped size.
mkdir huge && truncate -s 2147483647 huge/file000.bin && truncate -s 1 huge/file001.bin
printf '[files]\r\nfile000.bin=2147483647\r\nfile001.bin=1\r\n\r\n[sums]\r\nfile000.bin=0\r\nfile001.bin=0\r\ntotal_sum=0\r\n' >huge/pkginfo.txt
sed 's/sourceDir=pub\\client/sourceDir=huge/; /^size=/d' c.inf >huge.inf
expect_exit 2 "$tool" check huge.inf --package .
expect_in "huge.inf:3: error: .*lists more than 2147483647 bytes, the largest package" out.txt
expect_not_in "holds\|missing" out.txt

# A package without parts gives an empty file: check --package agrees with verify.
printf '[defs]\ncomponents=e\n[e]\nname=E\nProtocol=http\nsite=h\nsourceDir=emptypkg\nfiles=empty.bin\n' >e.inf
expect_exit 0 "$tool" check e.inf --package .
expect_exit 0 "$tool" verify emptypkg

# Zips are checked as the installer's cvgetex.dll checks them: package refuses one it
# would refuse whole and writes nothing; check --package finds a published one, whole
# for ftp, joined from its parts for http, and reports what is no zip at all.
python3 - <<'PY'
import zipfile
with zipfile.ZipFile("good.zip", "w") as z:
    z.writestr("setup.exe", "x" * 5000)
    z.writestr("setup.ins", "[setup]")
with zipfile.ZipFile("accent.zip", "w") as z:
    z.writestr("setup.exe", "x")
    z.writestr("r\u00e9sum\u00e9.txt", "y")
with zipfile.ZipFile("climb.zip", "w") as z:
    z.writestr("../setup.exe", "x")
with zipfile.ZipFile("bomb.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("zeros.bin", b"\0" * (32 << 20))
PY
expect_exit 0 "$tool" package --part-size 1K good.zip zips/good
for bad in "accent:entry \"r\\\\xC3\\\\xA9sum\\\\xC3\\\\xA9.txt\": unusable name" \
    "climb:entry \"../setup.exe\": unusable name" "bomb:absurd compression ratio"; do
    expect_exit 1 "$tool" package "${bad%%:*}.zip" "zips/${bad%%:*}"
    expect_in "(${bad#*:}); nothing written" err.txt
    [ ! -e "zips/${bad%%:*}" ] || fail "a refused zip was packaged: $bad"
done
mkdir -p ftproot/pub
cp accent.zip ftproot/pub/client.pkg
cp good.zip ftproot/pub/good.pkg
printf 'not a zip' >ftproot/pub/plain.pkg
printf '[defs]\ncomponents=g,a,p\n[g]\nname=G\nProtocol=http\nsite=h\nsourceDir=good\nfiles=g.pkg\ninstall1=ispackage,g.pkg\n[a]\nname=A\nProtocol=ftp\nuser=u\nsite=h\nsourceDir=pub\nfiles=client.pkg good.pkg\nextract1=package,good.pkg\ncount=2\nextract2=package,client.pkg,4\n[p]\nname=P\nProtocol=ftp\nuser=u\nsite=h\nsourceDir=pub\nfiles=plain.pkg\ninstall1=package,plain.pkg\n' >z.inf
cp -r zips/good ftproot/good
expect_exit 2 "$tool" check z.inf --package ftproot
expect_in "z.inf:19: error: client.pkg as published for \[a\] is refused whole by cvgetex.dll (entry" out.txt
expect_in "z.inf:27: error: plain.pkg as published for \[p\] is not a zip archive" out.txt
[ "$(grep -c error out.txt)" -eq 2 ] || fail "expected two errors: $(cat out.txt)"
# The http package's parts joined: a refused zip in the parts is found as well.
cat zips/good/file00*.bin | cmp -s - good.zip || fail "the good zip's parts do not join"
cp accent.zip ftproot/good/file000.bin
rm ftproot/good/file00[1-9].bin
printf '[files]\r\nfile000.bin=%d\r\n[sums]\r\nfile000.bin=0\r\ntotal_sum=0\r\n' \
    "$(stat -c %s accent.zip)" >ftproot/good/pkginfo.txt
expect_exit 2 "$tool" check z.inf --package ftproot
expect_in "z.inf:9: error: g.pkg as published for \[g\] is refused whole" out.txt

# Package actions need cvgetex.dll in the payload (--installer, --records) or downloaded.
printf '[defs]\ncomponents=g\n[g]\nname=G\nProtocol=http\nsite=h\nsourceDir=good\nfiles=client.pkg\ninstall1=ispackage,client.pkg\n' >x.inf
expect_exit 0 "$tool" check x.inf
expect_exit 2 "$tool" check x.inf --records x.inf
expect_in "x.inf:9: error: client.pkg is unpacked with cvgetex.dll" out.txt
expect_exit 0 "$tool" check x.inf --records "x.inf, cvgetex.dll"
head -c 4096 /dev/urandom >image.exe
printf 'MZ' >cvgetex.dll
cp image.exe with.exe
expect_exit 0 "$tool" add with.exe x.inf cvgetex.dll
expect_not_in "warning" err.txt
cp image.exe without.exe
expect_exit 0 "$tool" add without.exe x.inf
expect_in "warning: x.inf:9: client.pkg is unpacked with cvgetex.dll" err.txt
expect_exit 0 "$tool" check x.inf --installer with.exe
expect_exit 2 "$tool" check x.inf --installer without.exe
expect_exit 2 "$tool" check x.inf --installer image.exe
expect_exit 0 "$tool" check x.inf --installer with.exe --package zips
expect_exit 2 "$tool" check x.inf --installer with.exe --records cvgetex.dll
expect_exit 2 "$tool" check x.inf --records

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
fi
echo "cvpublish package, verify, scramble and check --package: all checks passed"
