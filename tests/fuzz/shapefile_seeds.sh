#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the seeds of the shapefile fuzz target (tests/fuzz/shapefile/): small shapefile
# sets made by GDAL's ogr2ogr from CSV rows with well-known text, each set's .shp, .shx
# and .dbf joined with the target's cut between them. Run it again only to change the
# seeds; the bytes are committed.
#
#   tests/fuzz/shapefile_seeds.sh [FOLDER]     (default tests/fuzz/shapefile)
set -euo pipefail
cd "$(dirname "$0")"
out=${1:-shapefile}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cut=$'\n--8<--\n'

# seed NAME GEOMETRY-TYPE COLUMN-TYPES, then the CSV rows (header first) on stdin.
seed() {
  local name=$1 type=$2 types=$3
  mkdir -p "$work/$name"
  cat >"$work/$name/in.csv"
  printf '%s\n' "$types" >"$work/$name/in.csvt"
  ogr2ogr -q -f "ESRI Shapefile" "$work/$name/f.shp" "$work/$name/in.csv" -nln f -nlt "$type" \
    -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -lco DBF_DATE_LAST_UPDATE=2020-01-01 \
    -lco ENCODING=ISO-8859-1
  local files=("$work/$name/f.shp" "$work/$name/f.shx" "$work/$name/f.dbf")
  if cat "${files[@]}" | grep -qF -- '--8<--'; then
    echo "shapefile_seeds: $name holds the cut" >&2
    exit 1
  fi
  { cat "${files[0]}"; printf '%s' "$cut"; cat "${files[1]}"; printf '%s' "$cut"; cat "${files[2]}"; } >"$out/$name"
}

# Text, numbers, a date and a row of nulls (the text reads back empty).
seed points POINT 'WKT,String(12),Integer(4),Real(8.2),Date' <<'CSV'
WKT,NAME,ZONE,AREA,BUILT
POINT (10 10),Main St,1,10.5,1990/02/03
POINT (30 15),O'Brien,2,-3.25,2001/12/31
POINT (20 40),"Quote ""Q""",3,0,1970/01/01
POINT (45 35),,,,
CSV

# Labels on a number: no text field. A path of two parts.
seed lines MULTILINESTRING 'WKT,Integer(6),Real(10.3),Date' <<'CSV'
WKT,ZONE,LEN,BUILT
"LINESTRING (0 0,50 5,100 0)",7,100.125,2015/06/01
"LINESTRING (0 20,100 20)",8,,
"MULTILINESTRING ((0 40,40 60),(60 60,100 40))",9,80.5,1999/09/09
"LINESTRING (50 -10,50 80)",,0.001,2020/02/29
CSV

# Holes, and a shape of two parts of which one has a hole.
seed polygons-holes MULTIPOLYGON 'WKT,String(8),Integer(3)' <<'CSV'
WKT,NAME,RANK
"POLYGON ((0 0,0 100,100 100,100 0,0 0),(20 20,80 20,80 80,20 80,20 20))",Ring,1
"POLYGON ((40 40,40 60,60 60,60 40,40 40))",Core,2
"MULTIPOLYGON (((120 0,120 50,170 50,170 0,120 0),(130 10,160 10,160 40,130 40,130 10)),((120 60,120 100,170 100,120 60)))",Pair,3
CSV

seed multipoints MULTIPOINT 'WKT,String(6)' <<'CSV'
WKT,NAME
"MULTIPOINT ((0 0),(10 10),(20 5))",Trio
"MULTIPOINT ((50 50))",Solo
CSV

# Rows without shapes between rows with them.
seed null-shapes MULTIPOLYGON 'WKT,String(6),Date' <<'CSV'
WKT,NAME,BUILT
,None,1990/01/01
"POLYGON ((0 0,0 10,10 10,10 0,0 0))",Box,2000/01/01
,,
"POLYGON ((20 0,20 10,30 10,30 0,20 0))",Box2,
CSV

# Heights and measures, read flat.
seed lines-zm LINESTRINGZM 'WKT,String(6)' <<'CSV'
WKT,NAME
"LINESTRING ZM (0 0 5 1,10 10 6 2,20 0 7 3)",Up
"LINESTRING ZM (0 20 1 0,20 20 1 9)",Flat
CSV

# Coordinates at the ends of the doubles: widths and scales overflow.
seed far-apart MULTIPOLYGON 'WKT,String(6)' <<'CSV'
WKT,NAME
"POLYGON ((-1e308 -1e308,-1e308 1e308,1e308 1e308,1e308 -1e308,-1e308 -1e308))",World
"POLYGON ((0 0,0 1e-300,1e-300 1e-300,1e-300 0,0 0))",Speck
"POLYGON ((1 1,1 2,2 2,2 1,1 1))",Unit
CSV

# A set without rows.
seed empty POLYGON 'WKT,String(10),Integer(4),Real(8.2),Date' <<'CSV'
WKT,NAME,ZONE,AREA,BUILT
CSV

ls -l "$out"
