# Sourced by the scripts that walk the bundled example pages. Prints one line
# "FOLDER<TAB>TEMPLATE" per folder of pages, with the template set that classifies
# it: clean pages main.xml, scanned-looking pages (tilted, on a black scanner
# bed) scanned.xml, pages told apart only by their printed text text.xml and,
# scanned, text_scanned.xml. Usage: example_folders ROOT
example_folders() {
  local root=$1 dir template
  for dir in "$root"/examples/pages/*dpi "$root"/examples/pages/scanned/*dpi \
             "$root"/examples/pages/text/*dpi "$root"/examples/pages/text/scanned/*dpi; do
    [ -d "$dir" ] || continue
    case "$dir" in
      */text/scanned/*) template="$root/examples/templates/text_scanned.xml" ;;
      */text/*) template="$root/examples/templates/text.xml" ;;
      */scanned/*) template="$root/examples/templates/scanned.xml" ;;
      *) template="$root/examples/templates/main.xml" ;;
    esac
    printf '%s\t%s\n' "$dir" "$template"
  done
}
