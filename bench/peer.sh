#!/usr/bin/env bash
# The append a GIS user would script with GDAL's command-line tools instead of running
# RivanetAppend: the yardstick that bench/run measures the program against.
#
#   bench/peer.sh INPUT_FOLDER LIST_FILE OUTPUT_FOLDER SKELETON_FOLDER SCHEMA_FILE
#
# OUTPUT_FOLDER is emptied and filled from the skeleton, then every step appends into it.
# Scratch files go to OUTPUT_FOLDER.scratch and are removed at the end.
# When PEER_STEPS names a file, one line "step wall_seconds peak_KiB" is appended to it per
# step (each step runs as its own process under /usr/bin/time).
#
# Steps and the tools they use:
#   prepare         cp -r of the skeleton (the same empty shapefiles and tables the program copies)
#   features_plain  ogr2ogr -append, every workspace in list order: RVXFlowline, streamgageevent,
#                   catchment, subbasin
#   features_comid  ogr2ogr -append of every workspace into a scratch GeoPackage, then
#                   ogr2ogr -sql keeping the first feature (lowest fid) of each Comid: RVXArea,
#                   RVXLine, RVXPoint, RVXWaterbody
#   tables_plain    ogr2ogr -append, every workspace in list order (12 tables)
#   tables_distinct RVXMetadata: per workspace SELECT DISTINCT ... WHERE DUUID<>0 appended directly,
#                   plus all rows collected in a scratch GeoPackage and appended SELECT DISTINCT;
#                   RVXReachCrossReference, RVXFeaturetometadata, RVXSourcecitation,
#                   RVXVerticalRelationship: collected, then appended SELECT DISTINCT
#   grid_<name>     gdalbuildvrt over the workspaces in list order (the later file wins where
#                   it has data), then gdal_translate to a tiled DEFLATE GeoTIFF; for cat and fdr
#                   gdal_calc.py writes the tiled DEFLATE GeoTIFF instead, turning every cell
#                   that is not > 0 into NoData
#   cat_vat         gdal_translate -of AAIGrid of the cat mosaic to a pipe, cells counted per
#                   value with awk; the counts and every workspace's cat VAT loaded into a
#                   scratch GeoPackage and joined by Value with ogr2ogr -sql into cat.tif.vat.dbf
set -euo pipefail

die() { echo "peer.sh: $*" >&2; exit 2; }

# Path of REL (a/b/c) under BASE, matching every part without regard to letter case.
ci_path() {
  local cur=$1 part hit
  local -a parts
  IFS=/ read -ra parts <<<"$2"
  for part in "${parts[@]}"; do
    hit=$(find "$cur" -mindepth 1 -maxdepth 1 -iname "$part" -print -quit)
    [[ -n $hit ]] || return 1
    cur=$hit
  done
  printf '%s\n' "$cur"
}

# Workspace folder names of the list file, up to its first empty line, CR and blanks dropped.
workspaces() {
  tr -d '\r' <"$LIST" | awk '{ sub(/^[ \t]+/, ""); sub(/[ \t]+$/, "") } $0 == "" { exit } { print }'
}

# Comma-separated field names of a schema block ("table NAME" or "featureclass PATH ...").
fields_of() {
  awk -v kind="$1" -v name="$2" '
    { sub(/#.*/, "") }
    $1 == kind && $2 == name { inside = 1; next }
    inside && $1 == "end" { exit }
    inside && $1 == "field" { out = out (out == "" ? "" : ",") $2 }
    END { print out }' "$SCHEMA"
}

# Schema path ("folder/name" or "name") of a feature class given its name.
class_path() {
  awk -v name="$1" '{ sub(/#.*/, "") } $1 == "featureclass" {
      n = split($2, p, "/"); if (tolower(p[n]) == tolower(name)) { print $2; exit } }' "$SCHEMA"
}
class_geometry() {
  awk -v name="$1" '{ sub(/#.*/, "") } $1 == "featureclass" {
      n = split($2, p, "/"); if (tolower(p[n]) == tolower(name)) { print $3; exit } }' "$SCHEMA"
}

input_file() {  # workspace relative-path -> existing input file
  ci_path "$INPUT/$1" "$2" || die "$1 has no $2"
}
output_file() {  # relative-path -> output file; missing folders are made, the file may not exist
  local cur=$OUTPUT part hit i
  local -a parts
  IFS=/ read -ra parts <<<"$1"
  for ((i = 0; i < ${#parts[@]}; i++)); do
    part=${parts[i]}
    hit=$(find "$cur" -mindepth 1 -maxdepth 1 -iname "$part" -print -quit)
    if [[ -z $hit ]]; then
      hit=$cur/$part
      ((i == ${#parts[@]} - 1)) || mkdir -p "$hit"
    fi
    cur=$hit
  done
  printf '%s\n' "$cur"
}

OGR=(ogr2ogr -q)

step_prepare() {
  rm -rf "$OUTPUT" "$SCRATCH"
  mkdir -p "$OUTPUT" "$SCRATCH"
  cp -r "$SKEL"/. "$OUTPUT"/
}

step_features_plain() {
  local name rel dst ws
  for name in RVXFlowline streamgageevent catchment subbasin; do
    rel=$(class_path "$name").shp
    dst=$(output_file "$rel")
    while read -r ws; do
      "${OGR[@]}" -append "$dst" "$(input_file "$ws" "$rel")" -nln "$(basename "$dst" .shp)"
    done < <(workspaces)
  done
}

step_features_comid() {
  local name rel dst ws gpkg nlt
  for name in RVXArea RVXLine RVXPoint RVXWaterbody; do
    rel=$(class_path "$name").shp
    dst=$(output_file "$rel")
    gpkg=$SCRATCH/$name.gpkg
    nlt=()
    [[ $(class_geometry "$name") == Point ]] || nlt=(-nlt PROMOTE_TO_MULTI)
    while read -r ws; do
      "${OGR[@]}" -append -f GPKG "$gpkg" "$(input_file "$ws" "$rel")" -nln "$name" "${nlt[@]}"
    done < <(workspaces)
    "${OGR[@]}" -append "$dst" "$gpkg" -nln "$(basename "$dst" .shp)" -sql \
      "SELECT * FROM \"$name\" WHERE fid IN (SELECT MIN(fid) FROM \"$name\" GROUP BY Comid) ORDER BY fid"
  done
}

step_tables_plain() {
  local name dst ws
  for name in RVXFlow RVXFlowlineVaa RVXhydrolineevent RVXhydropointevent RVXReachCode_comid \
      RVXStatus catchmentattributesnlcd catchmentattributestempprecip flowlineattributesflow \
      flowlineattributesnlcd flowlineattributestempprecip headwaternodearea; do
    dst=$(output_file "$name.dbf")
    while read -r ws; do
      "${OGR[@]}" -append "$dst" "$(input_file "$ws" "$name.dbf")" -nln "$(basename "$dst" .dbf)"
    done < <(workspaces)
  done
}

step_tables_distinct() {
  local name dst ws gpkg cols src
  for name in RVXMetadata RVXReachCrossReference RVXFeaturetometadata RVXSourcecitation \
      RVXVerticalRelationship; do
    dst=$(output_file "$name.dbf")
    gpkg=$SCRATCH/$name.gpkg
    cols=$(fields_of table "$name")
    [[ -n $cols ]] || die "the schema has no table $name"
    while read -r ws; do
      src=$(input_file "$ws" "$name.dbf")
      if [[ $name == RVXMetadata ]]; then
        "${OGR[@]}" -append "$dst" "$src" -nln "$(basename "$dst" .dbf)" -dialect SQLite -sql \
          "SELECT DISTINCT $cols FROM \"$(basename "$src" .dbf)\" WHERE DUUID <> 0"
      fi
      "${OGR[@]}" -append -f GPKG "$gpkg" "$src" -nln "$name"
    done < <(workspaces)
    "${OGR[@]}" -append "$dst" "$gpkg" -nln "$(basename "$dst" .dbf)" -sql \
      "SELECT DISTINCT $cols FROM \"$name\""
  done
}

nodata_of() {
  gdalinfo "$1" | sed -n 's/^ *NoData Value=//p' | head -1
}

grid_step() {  # folder name
  local rel=$1/$2/$2.tif ws vrt dst nodata type
  vrt=$SCRATCH/$2.vrt
  local -a inputs=()
  while read -r ws; do inputs+=("$(input_file "$ws" "$rel")"); done < <(workspaces)
  gdalbuildvrt -q "$vrt" "${inputs[@]}"
  dst=$(output_file "$1/$2/$2.tif")
  case $2 in
    cat | fdr)
      nodata=$(nodata_of "${inputs[0]}")
      [[ -n $nodata ]] || die "${inputs[0]} has no NoData value"
      type=$(gdalinfo "${inputs[0]}" | sed -n 's/.*Type=\([A-Za-z0-9]*\).*/\1/p' | head -1)
      gdal_calc.py --quiet -A "$vrt" --outfile="$dst" --type="$type" --NoDataValue="$nodata" \
        --calc="numpy.where(A > 0, A, $nodata)" --co=TILED=YES --co=COMPRESS=DEFLATE --overwrite \
        >/dev/null
      ;;
    *)
      gdal_translate -q -co TILED=YES -co COMPRESS=DEFLATE "$vrt" "$dst"
      ;;
  esac
}
step_grid_cat() { grid_step drainage cat; }
step_grid_elev_cm() { grid_step elev_unit elev_cm; }
step_grid_fac() { grid_step fac_fdr_unit fac; }
step_grid_fdr() { grid_step fac_fdr_unit fdr; }

step_cat_vat() {
  local grid dst gpkg=$SCRATCH/vat.gpkg csv=$SCRATCH/counts.csv ws
  grid=$(output_file drainage/cat/cat.tif)
  [[ -f $grid ]] || die "no cat mosaic to count"
  # AAIGrid: a few header lines (keyword value), then one text row of cells per grid row.
  gdal_translate -q -of AAIGrid "$grid" /vsistdout/ | awk '
    $1 ~ /^[A-Za-z]/ { if (tolower($1) == "nodata_value") nodata = $2; next }
    { for (i = 1; i <= NF; i++) if ($i != nodata) n[$i]++ }
    END { print "Value,Count"; for (v in n) print v "," n[v] }' >"$csv"
  while read -r ws; do
    "${OGR[@]}" -append -f GPKG "$gpkg" "$(input_file "$ws" drainage/cat/cat.tif.vat.dbf)" -nln vat
  done < <(workspaces)
  "${OGR[@]}" -append -f GPKG "$gpkg" "$csv" -nln counts -oo AUTODETECT_TYPE=YES
  dst=$(dirname "$grid")/cat.tif.vat.dbf
  rm -f "${dst%.dbf}".{dbf,cpg}
  "${OGR[@]}" -f "ESRI Shapefile" "$dst" "$gpkg" -nln cat.tif.vat -lco ENCODING=UTF-8 -sql \
    "SELECT CAST(c.Value AS INTEGER) AS Value, CAST(c.Count AS INTEGER) AS Count,
            v.Comid AS Comid, v.Prod_unit AS Prod_unit
     FROM counts c LEFT JOIN
       (SELECT Value, Comid, Prod_unit FROM vat WHERE fid IN (SELECT MIN(fid) FROM vat GROUP BY Value)) v
       ON v.Value = c.Value
     ORDER BY c.Value"
}

STEPS=(prepare features_plain features_comid tables_plain tables_distinct
       grid_cat grid_elev_cm grid_fac grid_fdr cat_vat)

if [[ ${1:-} == --step ]]; then
  step=$2
  shift 2
  [[ $# -eq 5 ]] || die "--step needs the five folders and files too"
  INPUT=$1 LIST=$2 OUTPUT=$3 SKEL=$4 SCHEMA=$5 SCRATCH=$3.scratch
  "step_$step"
  exit 0
fi

[[ $# -eq 5 ]] || die "usage: peer.sh INPUT_FOLDER LIST_FILE OUTPUT_FOLDER SKELETON_FOLDER SCHEMA_FILE"
for p in "$1" "$4"; do [[ -d $p ]] || die "$p is not a folder"; done
for p in "$2" "$5"; do [[ -f $p ]] || die "$p is not a file"; done
args=("$(realpath "$1")" "$(realpath "$2")" "$(realpath -m "$3")" "$(realpath "$4")" "$(realpath "$5")")
self=$(realpath "$0")
timing=$(mktemp)
trap 'rm -f "$timing"' EXIT
for step in "${STEPS[@]}"; do
  /usr/bin/time -f '%e %M' -o "$timing" bash "$self" --step "$step" "${args[@]}" ||
    die "step $step failed"
  [[ -z ${PEER_STEPS:-} ]] || echo "$step $(tail -1 "$timing")" >>"$PEER_STEPS"
done
rm -rf "${args[2]}.scratch"
