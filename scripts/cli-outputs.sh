#!/usr/bin/env bash
# cli-outputs.sh BINDIR OUTDIR: runs every quendra-cli command of BINDIR
# against a fresh demo stand-in (BINDIR's veltar-standin) and a generated
# 10,000-line price file; stdout, stderr and exit code of each step land in
# OUTDIR/NNN-name.{out,err,rc}, the files written in OUTDIR/NNN-name.file.
# Two builds that print the same: diff -r OUTDIR1 OUTDIR2 shows nothing
# (run both on the same day: the download list shows today's date).
set -u
[ $# -eq 2 ] || { echo "usage: $0 BINDIR OUTDIR" >&2; exit 2; }
repo=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath "$1"); out=$(realpath -m "$2")
rm -rf "$out"; mkdir -p "$out"; work=$(mktemp -d)
files_dir=$work/files; mkdir -p "$files_dir"
# The same files for every build: pricegen of this checkout's build, or BINDIR's.
gen=$repo/build/bin/pricegen; [ -x "$gen" ] || gen=$bin/pricegen
"$gen" --lines 10000 --out "$files_dir/big.txt" --dates 3 --second-price >/dev/null
"$gen" --lines 20 --out "$files_dir/small.txt" >/dev/null
{ head -3 "$files_dir/small.txt"; sed -n 4p "$files_dir/small.txt" | sed 's/01.01.2027/31.02.2027/'; } >"$files_dir/bad.txt"
"$bin/veltar-standin" --db "$work/demo.db" --port 0 --demo --no-tls --login-delay 0 >"$work/log" 2>&1 &
srv=$!
for _ in $(seq 1 100); do port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/log"); [ -n "$port" ] && break; sleep 0.1; done
C1="1 0 DEM demo 127.0.0.1 $port VELTAR"; C2="2 0 ZW zwei 127.0.0.1 $port VELTAR"
n=0
step() { # name, connect, args...
  local name=$1 con=$2; shift 2; n=$((n+1)); local f=$(printf "%s/%03d-%s" "$out" $n "$name")
  (cd "$work" && TZ=UTC XDG_CONFIG_HOME="$work/cfg" "$bin/quendra-cli" --no-tls --retry-pause 5 --connect "$con" "$@" >"$f.out" 2>"$f.err"; echo $? >"$f.rc")
}
files() { # copy produced files
  local name=$1; shift; for x in "$@"; do n=$((n+1)); local f=$(printf "%s/%03d-%s" "$out" $n "$name"); if [ -f "$work/$x" ]; then case "$x" in *.xlsx) (cd "$work" && rm -rf xl_ && mkdir xl_ && cd xl_ && unzip -q ../"$x" && cat xl/worksheets/sheet1.xml xl/styles.xml) >"$f.file";; *.pdf) strings "$work/$x" | grep -c "/Type /Page$" >"$f.file";; *) cp "$work/$x" "$f.file";; esac; else echo missing >"$f.file"; fi; done
}
step xecute "$C1" xecute 'S X="a""b" W X'
step downloads "$C1" downloads
step downloads2 "$C2" downloads
step badlogin "1 0 DEM falsch 127.0.0.1 $port VELTAR" downloads
for k in 1 2 3 4 99; do
  step pos$k "$C1" positions $k
  step styles$k "$C1" positions $k --styles
  step cand$k "$C1" candidates $k
done
for f in ohne-artnr mit-artnr markiert spanne-negativ ek-hoeher ek-niedriger nicht-verbucht bogus; do step filter-$f "$C1" positions 1 --filter $f; done
for c in 0 2 3 5 8 12 20 30 38 39 48 52 60; do step sort$c "$C1" positions 1 --sort $c; step sortd$c "$C1" positions 3 --sort $c --descending; done
step text "$C1" positions 1 --text a
step text2 "$C1" positions 3 --text "12,"
step export "$C1" export 1 --xlsx e1.xlsx --csv e1.csv
files export e1.xlsx e1.csv
step exportbad "$C1" export 1 --csv /nonexistent/x.csv
step search-articles "$C1" search-articles
step search-articles2 "$C1" search-articles --text a --max 5
step search-articles3 "$C1" search-articles --supplier 70001
step search-suppliers "$C1" search-suppliers a
step search-suppliers2 "$C1" search-suppliers M --group 1
step search-customers "$C1" search-customers a
step search-customers2 "$C1" search-customers "" --plz 4
step ekgroups "$C1" ekgroups 1
step ekgroups3 "$C1" ekgroups 3
step print "$C1" print 1 --pdf p1.pdf
step print2 "$C1" print 3 --pdf p3.pdf --group wargr --no-purchase-prices
files print p1.pdf p3.pdf
step preview "$C1" post 1 --all --options chvorhupd,chneu,chstamm,kondanl,ekanl,vkanl --preview
# first row id of download 1 and 3
pid1=$(cut -f54 "$out"/*-pos1.out | head -1 | cut -d'`' -f1); pid3=$(cut -f54 "$out"/*-pos3.out | head -1 | cut -d'`' -f1)
pid3b=$(cut -f54 "$out"/*-pos3.out | sed -n 2p | cut -d'`' -f1)
echo "ids $pid1 $pid3 $pid3b" >"$out/ids"
step assign "$C1" assign 1 "$pid1" 100001
step assignbad "$C1" assign 1 "$pid1" 99999999
step set "$C1" set 3 "$pid3" 12 "9,99"
step setbad "$C1" set 3 "$pid3" 12 "abc"
for c in 9 14 16 20 40 45 46 47; do step set$c "$C1" set 3 "$pid3b" $c "12" --input 1; done
step setfactor "$C1" set 3 "$pid3b" 45 "2,5"
step setmarked "$C1" set-marked 3 "$pid3,$pid3b" 14 "5"
step setmarked2 "$C1" set-marked 3 "$pid3,$pid3b" 16 "7"
step assign2 "$C1" assign 3 "$pid3b" ""
step ekset "$C1" ekgroups 1 --set "1:4=12,5" --date 01.02.2027 --save
step ekset2 "$C1" ekgroups 1 --set "1:6=12,5" --date 01.02.2027 --save
step ekset3 "$C1" ekgroups 1 --set "1:6=120" --save
step ekpost "$C1" ekgroups 1 --post N
step eanmatch "$C1" ean-match 3 "$repo/docs/samples/ean-match-demo.csv"
step eanmatchpost "$C1" ean-match 3 "$repo/docs/samples/ean-match-demo.csv" --post
step postmarked "$C1" post 3 --marked "$pid3" --options chvorhupd,chneu
step postall "$C1" post 1 --all --options chvorhupd,chneu,chstamm,kondanl,ekanl,vkanl
step pos1after "$C1" positions 1 --styles
step pos3after "$C1" positions 3
step webimport "$C1" web-import SDT --tracks 01.01.2027
step small "$C1" import "$files_dir/small.txt" --supplier 70001 --tracks none
step big "$C1" import "$files_dir/big.txt" --supplier 70001
step downloads-after "$C1" downloads
key=$(cut -f1 "$out"/*-big.out)
step bigpos "$C1" positions "$key"
step bigstyles "$C1" positions "$key" --styles
step bigcand "$C1" candidates "$key"
step bigsort "$C1" positions "$key" --sort 12 --descending
step bigfilter "$C1" positions "$key" --filter ohne-artnr --text "9"
step bigexport "$C1" export "$key" --csv big.csv
files bigexport big.csv
step bigpreview "$C1" post "$key" --all --options chvorhupd,chneu,chstamm,kondanl,ekanl,vkanl --preview
step bigprint "$C1" print "$key" --pdf big.pdf
step bigpost "$C1" post "$key" --all --options chvorhupd,chneu,chstamm,kondanl,ekanl,vkanl
step bigafter "$C1" positions "$key"
step bigoverview "$C1" overview "$key"
step bigoverview2 "$C1" overview "$key" --filter mit-artnr --png big.png
step overview1 "$C1" overview 1
step overview3 "$C1" overview 3 --filter ohne-artnr
step printoverview "$C1" print 1 --pdf p1o.pdf --overview
files printoverview p1o.pdf
step bigdelete "$C1" delete "$key"
step downloads-end "$C1" downloads
step badfile "$C1" import "$files_dir/bad.txt" --supplier 70001
step missingfile "$C1" import /nonexistent.txt
kill $srv; wait $srv 2>/dev/null
rm -rf "$work"
