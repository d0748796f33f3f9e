# Every picture compiled into the program: "<resource alias>|<SVG source>|<width>|<height>".
# The alias is the Qt resource path without its leading ":/"; src/res/Resources.h documents the
# layout. Icons come at several sizes: ":/icon/<id>" is the largest, ":/icons/<id>/<edge>" each
# one; the smallest sizes have their own, simpler drawing so that they stay legible.
set(PLYFOLD_ARTWORK
  # Command bar.
  "bmp/311|bar-background.svg|1|72"
  "png/311|bar-background.svg|1|72"
  "png/313|logo.svg|198|56"
  "png/315|add-file.svg|32|32"
  "png/316|add-folder.svg|32|32"
  "png/317|clear-all.svg|32|32"
  "png/318|save-merged.svg|32|32"
  "png/319|zoom-small.svg|16|16"
  "png/320|zoom-large.svg|24|24"
  "png/321|help.svg|16|16"
  # Document and page boxes.
  "png/322|remove.svg|16|16"
  "png/323|expand.svg|16|16"
  "png/324|collapse.svg|16|16"
  # Splash and about window.
  "png/328|splash.svg|455|281"
  # Application icon.
  "icon/128|app-icon.svg|256|256"
  "icons/128/256|app-icon.svg|256|256"
  "icons/128/128|app-icon.svg|128|128"
  "icons/128/64|app-icon.svg|64|64"
  "icons/128/48|app-icon.svg|48|48"
  "icons/128/32|app-icon-small.svg|32|32"
  "icons/128/24|app-icon-small.svg|24|24"
  "icons/128/16|app-icon-small.svg|16|16"
  # Icon of the "Save Merge Complete" dialog.
  "icon/337|save-complete.svg|48|48"
  "icons/337/48|save-complete.svg|48|48"
  "icons/337/32|save-complete.svg|32|32"
  "icons/337/16|save-complete-small.svg|16|16"
  # Drop cursor of the work area.
  "cursor/332|drop-cursor.svg|32|32"
)
