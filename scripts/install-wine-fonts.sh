#!/usr/bin/env bash
# Puts the fonts that Wine's own drawing needs into the prefix named by WINEPREFIX: Marlett,
# whose glyphs are the caption buttons (without it they show as the letters "0 2 r").
# Wine looks for fonts in the prefix's windows\Fonts folder, in its own data folder and
# through fontconfig; Debian ships Wine's fonts apart (fonts-wine, installed by
# install-deps.sh), so the prefix gets its own copy and does not depend on where they lie.
#   WINEPREFIX=... scripts/install-wine-fonts.sh
set -u
fonts="${WINEPREFIX:?WINEPREFIX must name the prefix}/drive_c/windows/Fonts"
mkdir -p "$fonts"
for name in marlett.ttf; do
  [ -f "$fonts/$name" ] && continue
  for folder in /usr/share/wine/fonts /usr/lib/wine/fonts /usr/share/fonts/truetype/wine /opt/wine/share/wine/fonts; do
    if [ -f "$folder/$name" ]; then cp "$folder/$name" "$fonts/$name"; break; fi
  done
  [ -f "$fonts/$name" ] || echo "install-wine-fonts: $name not found (install fonts-wine)" >&2
done
exit 0
