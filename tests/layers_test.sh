# The rooms of src/ and the order they stand in: each includes only itself and the rooms below
# it, so the core (platform, drivers, audio, codec, engine) never reaches a front end, and the
# codec driver is reached only through the codec manager (start-up installs it). TagLib is seen
# by the ID3 tag's file alone. No source file grows past 700 lines.
#     bash layers_test.sh SRC-FOLDER
set -euo pipefail
src=${1:?path to src}
declare -A allowed=(
  [platform]="platform"
  [drivers]="drivers platform"
  [audio]="audio platform"
  [codec]="codec audio platform"
  [engine]="engine codec audio platform"
  [ui]="ui engine codec audio platform"
  [app]="app ui engine codec audio platform"
)
# The one place that installs the built-in drivers, and the one that sees TagLib.
driver_installer=app/main.cpp
tag_library_user=audio/id3_tag.cpp
failures=0
for room in "${!allowed[@]}"; do
  while IFS= read -r file; do
    relative=${file#"$src"/}
    while IFS= read -r included; do
      target=${included%%/*}
      ok=0
      for permitted in ${allowed[$room]}; do
        [ "$target" = "$permitted" ] && ok=1
      done
      [ "$target" = drivers ] && [ "$relative" = "$driver_installer" ] && ok=1
      if [ "$ok" -eq 0 ]; then
        echo "FAIL: $relative includes $included, a room above or beside $room" >&2
        failures=$((failures + 1))
      fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    if grep -q '^#include <taglib/' "$file" && [ "$relative" != "$tag_library_user" ]; then
      echo "FAIL: $relative includes TagLib, which only $tag_library_user may" >&2
      failures=$((failures + 1))
    fi
    lines=$(wc -l <"$file")
    if [ "$lines" -gt 700 ]; then
      echo "FAIL: $relative has $lines lines (at most 700)" >&2
      failures=$((failures + 1))
    fi
  done < <(find "$src/$room" -name '*.cpp' -o -name '*.h')
done
for folder in "$src"/*/; do
  name=$(basename "$folder")
  if [ -z "${allowed[$name]+set}" ]; then
    echo "FAIL: src/$name is no room of the program" >&2
    failures=$((failures + 1))
  fi
done
echo "$failures failures"
[ "$failures" -eq 0 ]
