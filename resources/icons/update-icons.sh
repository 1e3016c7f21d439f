#!/bin/sh
# Copies the icons the program uses out of the lucide-static npm package (ISC, partly MIT from
# Feather; see LICENSE-lucide.txt) and gives them the program's colours. Run it from anywhere after
# `npm pack lucide-static` and unpacking the archive:
#     resources/icons/update-icons.sh /path/to/package
# Each line of the table: target file (under resources/icons), source icon, stroke colour, fill.
set -eu
package=${1:?usage: update-icons.sh PATH-TO-UNPACKED-lucide-static}
here=$(cd "$(dirname "$0")" && pwd)
ink='#333333'

while read -r target source stroke fill; do
    case "$target" in '' | '#'*) continue ;; esac
    [ "$stroke" = - ] && stroke=$ink
    mkdir -p "$(dirname "$here/$target")"
    sed -e "s/stroke=\"currentColor\"/stroke=\"$stroke\"/" \
        -e "s/fill=\"none\"/fill=\"$fill\"/" \
        "$package/icons/$source.svg" > "$here/$target"
done <<'TABLE'
# The tab strip and the window menu.
tabBar-close-current.svg  x                    -        none
tabBar-close.svg          x                    #9e9e9e  none
empty.svg                 file                 #5c6bc0  none
eye.svg                   eye                  -        none
printer.svg               printer              -        none
settings.svg              settings             -        none
help-circle.svg           circle-question-mark -        none
heart.svg                 heart                #e53935  none
# The document tab, its side bar and its find bar.
folder-open-o.svg         folder-open          -        none
refresh-cw.svg            refresh-cw           -        none
chevron-left.svg          chevron-left         -        none
chevron-right.svg         chevron-right        -        none
chevron-up.svg            chevron-up           -        none
chevron-down.svg          chevron-down         -        none
zoom-in.svg               zoom-in              -        none
zoom-out.svg              zoom-out             -        none
undo.svg                  undo-2               -        none
book-open.svg             book-open            -        none
file-text.svg             file-text            -        none
mindmap.svg               network              -        none
notearea.svg              panel-right          -        none
search.svg                search               -        none
toc.svg                   table-of-contents    -        none
x.svg                     x                    -        none
check.svg                 check                #2e7d32  none
lock.svg                  lock                 -        none
copy.svg                  copy                 -        none
# The annotation tools.
hand.svg                  hand                 -        none
select-text.svg           text-cursor          -        none
text.svg                  highlighter          -        none
underline.svg             underline            -        none
square-outline.svg        square               -        none
square.svg                square               -        #fff176
horline.svg               minus                -        none
horHighlight.svg          highlighter          #f9a825  none
# The note editor's tool bar.
editor/bold.svg               bold                 -  none
editor/italic.svg             italic               -  none
editor/underline.svg          underline            -  none
editor/strikethrough.svg      strikethrough        -  none
editor/font.svg               type                 -  none
editor/font-size.svg          a-large-small        -  none
editor/btn_forecolor.svg      baseline             -  none
editor/btn_backcolor.svg      paint-bucket         -  none
editor/palette.svg            palette              -  none
editor/justify-left.svg       text-align-start     -  none
editor/btn_justifycenter.svg  text-align-center    -  none
editor/btn_justifyright.svg   text-align-end       -  none
editor/btn_justify.svg        text-align-justify   -  none
editor/btn_unordered_list.svg list                 -  none
editor/btn_ordered_list.svg   list-ordered         -  none
editor/btn_indent.svg         list-indent-increase -  none
editor/btn_outdent.svg        list-indent-decrease -  none
editor/add-image.svg          image-plus           -  none
editor/tag.svg                tag                  -  none
TABLE

cp "$package/LICENSE" "$here/LICENSE-lucide.txt"
