#!/bin/sh
# Extracting the same mixed corpus (about 100 MB) packed three ways: AES-256
# with deflate, LZMA (both written by 7z) and zstd (written by Python's zipfile
# through libzstd): the engine (bench/unz_bench) against `7z x`, and bsdtar
# where it reads the archive, in the same run. Prints medians and ratios.
# usage: bench/methods_bench.sh [BUILD_BIN_DIR]   (default: build/bin)
# ARCHIVES="aes256 lzma zstd" picks archives; BEFORE_BIN=DIR adds another build's
# unz_bench ("before") to the same rounds.
ROUNDS=${ROUNDS:-3}
. "$(dirname "$0")/lib.sh"
use_build "${1:-}"
need_built unz_bench
need_peers 7z bsdtar python3
ARCHIVES=${ARCHIVES:-aes256 lzma zstd}
before=""
[ -n "${BEFORE_BIN:-}" ] && before=$(cd "$BEFORE_BIN" && pwd)
PASSWORD=bench-password

make_work
corpus=$work/corpus
mkdir -p "$corpus"
take_mixed_corpus "$corpus"
take_corpus "$corpus" /usr/share 10 '*.gz'
echo "corpus: $(find "$corpus" -type f | wc -l) files, $(du -sb "$corpus" | cut -f1) bytes"

cd "$corpus"
7z a -tzip -mem=AES256 -p"$PASSWORD" -bso0 -bsp0 "$work/aes256.zip" . >/dev/null
7z a -tzip -mm=LZMA -bso0 -bsp0 "$work/lzma.zip" . >/dev/null
# zipfile has no zstd writer: members go through libzstd (level 3) by ctypes.
python3 - "$work/zstd.zip" <<'PY'
import ctypes, os, sys, zipfile
lib = ctypes.CDLL("libzstd.so.1")
S = ctypes.c_size_t
lib.ZSTD_compressBound.restype = lib.ZSTD_compress.restype = S
lib.ZSTD_compressBound.argtypes = [S]
lib.ZSTD_compress.argtypes = [ctypes.c_void_p, S, ctypes.c_char_p, S, ctypes.c_int]
lib.ZSTD_isError.restype = ctypes.c_uint
lib.ZSTD_isError.argtypes = [S]
class Zstd:
    def __init__(self): self.parts = []
    def compress(self, data): self.parts.append(bytes(data)); return b""
    def flush(self):
        data = b"".join(self.parts)
        out = ctypes.create_string_buffer(lib.ZSTD_compressBound(len(data)))
        n = lib.ZSTD_compress(out, len(out), data, len(data), 3)
        assert not lib.ZSTD_isError(n)
        return out.raw[:n]
zipfile._check_compression = lambda method: None
original = zipfile._get_compressor
zipfile._get_compressor = lambda method, level=None: Zstd() if method == 93 else original(method, level)
with zipfile.ZipFile(sys.argv[1], "w", compression=93) as z:
    for d, ds, fs in os.walk("."):
        ds.sort()
        for f in sorted(fs):
            z.write(os.path.join(d, f))
PY
cd "$work"
for a in aes256 lzma zstd; do echo "$a.zip: $(du -sb $a.zip | cut -f1) bytes"; done
echo "load average before: $(load_average)"

for a in $ARCHIVES; do
  tools="engine 7z${before:+ before}"
  # bsdtar takes part where it extracts the archive whole.
  mkdir -p probe && if bsdtar -xf "$a.zip" -C probe --passphrase "$PASSWORD" >/dev/null 2>&1 &&
    diff -r corpus probe >/dev/null 2>&1; then tools="$tools bsdtar"; fi
  rm -rf probe
  for tool in $tools; do : > "times.$tool"; done
  for round in $(seq 1 "$ROUNDS"); do
    for tool in $tools; do
      out=out.$tool; rm -rf "$out"; mkdir -p "$out"; sync
      case $tool in
        engine) measure "times.$tool" "$bin/unz_bench" "$a.zip" "$out" "$PASSWORD" || true ;;
        before) measure "times.$tool" "$before/unz_bench" "$a.zip" "$out" "$PASSWORD" || true ;;
        7z) measure "times.$tool" 7z x -y -p"$PASSWORD" -o"$out" "$a.zip" || true ;;
        bsdtar) measure "times.$tool" bsdtar -xf "$a.zip" -C "$out" --passphrase "$PASSWORD" || true ;;
      esac
      [ "$round" = 1 ] && { diff -r corpus "$out" >/dev/null || echo "$a: $tool's output differs from the corpus"; }
    done
  done
  e=$(medians times.engine)
  for tool in $tools; do
    m=$(medians "times.$tool")
    show "$a: $tool" "$m"; echo "   / the engine: $(ratio "$m" "$e")"
  done
  [ "${tools#*bsdtar}" = "$tools" ] && echo "$a: bsdtar does not extract it"
done
echo "medians of $ROUNDS rounds; load average after: $(load_average)"
