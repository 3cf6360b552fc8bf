#!/usr/bin/env bash
# Renders the text pages of the straightening benchmark with Ghostscript and the URW fonts: A4 pages
# of German paragraphs under a heading, as 8-bit grey PGM files (anti-aliased) at 150, 200 and 300 dpi:
#   brief-<dpi>.pgm   sans serif 11 pt, ragged right, left margin 25 mm
#   buch-<dpi>.pgm    serif 12 pt, justified, first lines indented, left margin 32 mm
#   kurz-<dpi>.pgm    a heading and two short lines: a page that is nearly blank
# Usage: skew_text_pages.sh OUTPUT_FOLDER
set -euo pipefail
out=${1:?output folder}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

text='Die Verwaltung hat beschlossen, die Unterlagen des vergangenen Jahres vollständig zu erfassen und in einem gemeinsamen Archiv abzulegen. Jede Abteilung prüft zunächst, welche Schriftstücke aufbewahrt werden müssen, und legt sie in der richtigen Reihenfolge bereit. Größere Stapel werden am Vormittag eingelesen, damit die Dateien am Nachmittag kontrolliert werden können.
Beim Einlesen kommt es häufig vor, dass ein Blatt nicht ganz gerade im Einzug liegt. Schon eine kleine Schräglage fällt beim Lesen auf dem Bildschirm störend auf, und die Texterkennung liefert schlechtere Ergebnisse. Deshalb richtet das Programm jede Seite aus, bevor sie gespeichert wird; die Ränder bleiben dabei weiß.
Gebundene Bücher und dicke Ordner werfen am Falz einen dunklen Schatten, und ein offener Deckel hinterlässt am Rand einen grauen Streifen. Solche Streifen gehören nicht zum Text und dürfen die Ausrichtung nicht beeinflussen. Auch Staubkörner, Knicke und vergilbtes Papier sind bei älteren Akten keine Seltenheit.
Für die Prüfung wurden Seiten mit bekannten Winkeln erzeugt, in Graustufen, in Farbe und als reine Schwarzweißbilder. Jede Seite enthält mehrere Absätze mit einer Überschrift, so wie sie in Briefen, Berichten und Büchern üblich sind. Die Ergebnisse werden mit dem tatsächlichen Winkel verglichen und für jede Auflösung getrennt ausgewertet.
Zum Schluss werden die Dateien nach Datum und Aktenzeichen sortiert, mit einer Prüfsumme versehen und auf zwei getrennten Laufwerken gesichert. Wer eine Seite sucht, findet sie über das Inhaltsverzeichnis oder über die Volltextsuche, die auch Umlaute und das scharfe ß zuverlässig erkennt.
Die nächste Überprüfung ist für das Frühjahr geplant. Bis dahin sammeln die Abteilungen ihre Erfahrungen mit dem neuen Verfahren und melden Fehler, damit sie rechtzeitig behoben werden können. Für Rückfragen steht das Sekretariat montags bis freitags von neun bis zwölf Uhr zur Verfügung.'

# page NAME FONT BOLDFONT SIZE LEADING LEFT_MM RIGHT_MM JUSTIFY INDENT HEADING PARAGRAPHS
page() {
    local name=$1 font=$2 bold=$3 size=$4 leading=$5 left=$6 right=$7 justify=$8 indent=$9 heading=${10} body=${11}
    {
        cat <<PS
%!PS
/reencode { findfont dup length dict begin { 1 index /FID ne { def } { pop pop } ifelse } forall
  /Encoding ISOLatin1Encoding def currentdict end definefont pop } def
/Body /$font reencode
/Head /$bold reencode
/mm { 72 mul 25.4 div } def
/left $left mm def
/width 210 mm left sub $right mm sub def
/y 297 mm 30 mm sub def
/leading $leading def
% Sets the words of one paragraph in lines of the column width, the last line ragged; justify spreads
% the other lines to the full width. Lines below 30 mm from the bottom are left out.
/space { ( ) stringwidth pop } def
/setline { % words last
  /last exch def /words exch def /n words length def
  /w 0 def words { stringwidth pop w add /w exch def } forall
  /gapw n 1 gt $justify and last not and { width xstart left sub sub w sub n 1 sub div } { space } ifelse def
  y 30 mm gt { xstart y moveto words { show gapw 0 rmoveto } forall } if
  /y y leading sub def
} def
/paragraph { % string
  /rest exch def
  /xstart left $indent mm add def
  /line [] def /linew 0 def
  {
    rest ( ) search
    { /word exch def pop /rest exch def /more true def }
    { /word exch def /rest () def /more false def } ifelse
    /ww word stringwidth pop def
    line length 0 gt linew ww add xstart left sub add width gt and {
      line false setline /xstart left def /line [] def /linew 0 def } if
    /line [ line aload pop word ] def
    /linew linew ww add space add def
    more not { exit } if
  } loop
  line true setline
  /y y leading 0.5 mul sub def
} def
/Head $((size + 5)) selectfont
left y moveto ($heading) show
/y y leading 2.2 mul sub def
/Body $size selectfont
PS
        while IFS= read -r para; do
            [ -n "$para" ] || continue
            printf '(%s) paragraph\n' "$para"
        done <<<"$body"
        printf '/Body %s selectfont 105 mm 15 mm moveto (- 3 -) show\nshowpage\n' "$size"
    } | iconv -f utf-8 -t latin1 >"$work/$name.ps"
    for dpi in 150 200 300; do
        gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pgmraw -r$dpi -dTextAlphaBits=4 -dGraphicsAlphaBits=4 \
            -sPAPERSIZE=a4 -dFIXEDMEDIA -sOutputFile="$out/$name-$dpi.pgm" "$work/$name.ps"
    done
}

page brief Helvetica Helvetica-Bold 11 14 25 20 false 0 'Erfassung der Akten des Jahres 2025' "$text"
page buch Times-Roman Times-Bold 12 15 32 24 true 6 'Drittes Kapitel: Vom Ordnen der Papiere' "$text
$text"
page kurz Helvetica Helvetica-Bold 11 14 25 20 false 0 'Anlage 4' 'Diese Seite bleibt frei.
Ende der Anlage.'
