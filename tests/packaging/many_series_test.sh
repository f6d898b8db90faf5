#!/usr/bin/env bash
# The README's "Many series" recipe: orvanta-cli under GNU parallel on three generated series, then
# with a broken fourth, whose failure the exit status and the job log name.
set -euo pipefail
cli=$1 make_series=$2
command -v parallel >/dev/null || { echo "GNU parallel is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
for s in beetle moss "old coin"; do
  "$make_series" "$s" --count 4 --size 96x64 --format jpg --prefix shot --no-truth --seed ${#s} >/dev/null
done

fail() { echo "FAIL: $*"; exit 1; }

# The README's command line, with the program's full path.
parallel --will-cite "$cli" -q {} ::: */*01.jpg >/dev/null || fail "parallel exited $? on three good series"
for s in beetle moss "old coin"; do
  [ -s "$s/shot01 montage.bmp" ] || fail "no montage for $s"
done

# A series whose first picture is not a picture: parallel's exit status counts the failed jobs and
# the job log tells which series it was.
mkdir broken && echo "not a picture" > broken/shot01.jpg
rm -f */"shot01 montage.bmp"
status=0
parallel --will-cite --joblog jobs.log "$cli" -q {} ::: */*01.jpg >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "parallel exited $status, expected 1 failed job"
failed=$(awk -F'\t' 'NR > 1 && $7 != 0 { print $NF }' jobs.log)
case "$failed" in
  *broken/shot01.jpg) ;;
  *) fail "the job log names '$failed' as failed" ;;
esac
[ "$(awk -F'\t' 'NR > 1 && $7 == 0' jobs.log | wc -l)" -eq 3 ] || fail "three series should have succeeded"
for s in beetle moss "old coin"; do
  [ -s "$s/shot01 montage.bmp" ] || fail "no montage for $s beside the broken series"
done
echo "many series: 3 montages, the broken series reported"
