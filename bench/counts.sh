#!/usr/bin/env bash
# Compares what RivanetAppend and a peer (bench/peer.py or bench/peer.sh) wrote, counted from
# the files themselves: features per feature class and rows per table (ogrinfo -sql "SELECT COUNT(*)"), size and
# GDAL checksum per grid (gdalinfo -checksum), rows and summed Count of the cat VAT; where both
# outputs have a grid or the VAT, bench/cells.py also compares them cell for cell and row for row
# (Value, Count, Comid, Prod_unit), since a checksum can miss a difference.
#
#   bench/counts.sh OURS_OUTPUT PEER_OUTPUT SCHEMA_FILE
#
# Prints a Markdown table. "not yet produced" means RivanetAppend's output has no such file,
# or the file is still the empty skeleton copy while the peer's is not: the phase that writes
# it has not been built yet. Exits 1 when a produced output differs from the peer's.
set -euo pipefail

[[ $# -eq 3 ]] || { echo "usage: counts.sh OURS_OUTPUT PEER_OUTPUT SCHEMA_FILE" >&2; exit 2; }
OURS=$1 PEER=$2 SCHEMA=$3

# Path of REL under BASE, matching every part without regard to letter case; empty when absent.
ci_path() {
  local cur=$1 part hit
  local -a parts
  IFS=/ read -ra parts <<<"$2"
  for part in "${parts[@]}"; do
    hit=$(find "$cur" -mindepth 1 -maxdepth 1 -iname "$part" -print -quit 2>/dev/null)
    [[ -n $hit ]] || return 0
    cur=$hit
  done
  printf '%s\n' "$cur"
}

count_rows() {  # file -> number of features or rows, empty when the file is absent
  local file=$1 layer
  [[ -n $file && -f $file ]] || return 0
  layer=$(basename "$file")
  layer=${layer%.*}
  ogrinfo -ro -q "$file" -sql "SELECT COUNT(*) AS n FROM \"$layer\"" 2>/dev/null |
    sed -n 's/^ *n (Integer[0-9]*) = //p'
}

vat_summary() {  # vat dbf -> "rows / summed Count"
  local file=$1
  [[ -n $file && -f $file ]] || return 0
  ogrinfo -ro -q "$file" -sql "SELECT COUNT(*) AS n, SUM(Count) AS cells FROM \"cat.tif.vat\"" 2>/dev/null |
    awk -F' = ' '/ n \(/ { n = $2 } / cells \(/ { c = $2 } END { if (n != "") print n " rows / " c " cells" }'
}

grid_summary() {  # tif -> "WxH, checksum C"
  local file=$1
  [[ -n $file && -f $file ]] || return 0
  gdalinfo -checksum "$file" 2>/dev/null | awk '
    /^Size is/ { gsub(",", ""); size = $3 "x" $4 }
    /Checksum=/ { sub(/.*Checksum=/, ""); sum = $0 }
    END { print size ", checksum " sum }'
}

failed=0
row() {  # label peer ours skeleton-empty(0/1) [cells.py verdict]
  local label=$1 peer=$2 ours=$3 empty=$4 cells=${5:-} verdict
  if [[ -z $peer ]]; then
    verdict="peer wrote nothing"
    failed=1
  elif [[ -z $ours || ($empty == 1 && $ours == 0 && $peer != 0) ]]; then
    verdict="not yet produced"
  elif [[ -n $cells && $cells != same ]]; then
    verdict="DIFFERS: $cells"
    failed=1
  elif [[ $peer == "$ours" ]]; then
    verdict="match"
    [[ -z $cells ]] || verdict="match, $([[ $label == *.dbf ]] && echo row for row || echo cell for cell)"
  else
    verdict="DIFFERS"
    failed=1
  fi
  printf '| %s | %s | %s | %s |\n' "$label" "${peer:--}" "${ours:--}" "$verdict"
}

echo "| output | peer | RivanetAppend | check |"
echo "|---|---|---|---|"
while read -r kind path; do
  case $kind in
    featureclass) rel=$path.shp ;;
    table) rel=$path.dbf ;;
    *) continue ;;
  esac
  row "$rel" "$(count_rows "$(ci_path "$PEER" "$rel")")" "$(count_rows "$(ci_path "$OURS" "$rel")")" 1
done < <(awk '{ sub(/#.*/, "") } $1 == "featureclass" || $1 == "table" { print $1, $2 }' "$SCHEMA")

cells() {  # grid|vat ours peer -> bench/cells.py's verdict, empty unless both files exist
  [[ -n $2 && -f $2 && -n $3 && -f $3 ]] || return 0
  "$(dirname "$0")/cells.py" "$1" "$2" "$3" 2>&1 || true
}

for rel in drainage/cat/cat.tif elev_unit/elev_cm/elev_cm.tif fac_fdr_unit/fac/fac.tif \
    fac_fdr_unit/fdr/fdr.tif; do
  p=$(ci_path "$PEER" "$rel") o=$(ci_path "$OURS" "$rel")
  row "$rel" "$(grid_summary "$p")" "$(grid_summary "$o")" 0 "$(cells grid "$o" "$p")"
done
rel=drainage/cat/cat.tif.vat.dbf
p=$(ci_path "$PEER" "$rel") o=$(ci_path "$OURS" "$rel")
row "$rel" "$(vat_summary "$p")" "$(vat_summary "$o")" 0 "$(cells vat "$o" "$p")"
exit "$failed"
