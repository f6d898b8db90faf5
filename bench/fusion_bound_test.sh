#!/bin/sh
# The oracle is exact when the truth is one of the pictures, beats the best single picture on a
# halo series, and refuses pictures of another size.
set -eu
bin=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$bin/make-sample-series" "$dir/s" --scene halo --count 4 --size 200x150 > /dev/null
"$bin/make-sample-series" "$dir/o" --scene halo --count 2 --size 100x80 > /dev/null
s=$dir/s
exact=$("$bin/orvanta-fusion-bound" "$s/sample-truth.bmp" "$s/sample01.bmp" "$s/sample-truth.bmp" "$s/sample04.bmp")
[ "$exact" = "pixel 99.00 pyramid 99.00 pyramid-3x3 99.00 pyramid-5x5 99.00 single 99.00" ] || { echo "with the truth among them: $exact"; exit 1; }
set -- $("$bin/orvanta-fusion-bound" "$s/sample-truth.bmp" "$s"/sample0[1-4].bmp)
echo "$*"
awk -v pixel="$2" -v pyramid="$4" -v windowed="$6" -v wider="$8" -v single="${10}" \
  'BEGIN { exit !(pixel > single + 1 && pyramid > single + 1 && windowed > single && wider <= windowed && windowed <= pyramid && pyramid < 99) }' ||
  { echo "the oracle does not beat one picture"; exit 1; }
if "$bin/orvanta-fusion-bound" "$s/sample-truth.bmp" "$dir/o/sample01.bmp" 2> "$dir/err"; then
  echo "a picture of another size was accepted"; exit 1
fi
grep -q "not two pictures of one size" "$dir/err"
