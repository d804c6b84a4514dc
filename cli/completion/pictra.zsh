#compdef pictra
# zsh completion for pictra(1)

# The saver names of the tool being completed ($pictra_tool, set by _pictra
# before the subcommand's words are shifted).
_pictra_formats() {
  local -a names
  names=(${(f)"$($pictra_tool formats 2>/dev/null | awk 'NR > 1 { print $1 }')"})
  _describe -t formats 'format' names
}

_pictra() {
  local pictra_tool=${words[1]}
  local -a batch
  batch=(
    '(-r --recursive)'{-r,--recursive}'[descend into folders given as inputs]'
    '(-j --jobs)'{-j+,--jobs=}'[number of workers]:workers:'
    '(-q --quiet)'{-q,--quiet}'[no progress bar and no adaptation lines]'
  )
  # convert and create write icons: the format, and the batch form's folder and names
  local -a saving
  saving=(
    '(-f --format)'{-f+,--format=}'[format to write]:format:_pictra_formats'
    '(-c --compress)'{-c,--compress}'[compress where the format allows it]'
    '(-o --output)'{-o+,--output=}'[output folder]:folder:_files -/'
    '--name=[output name pattern]:pattern:'
  )
  local -a types
  types=(disk drawer tool project garbage device kick appicon)

  _arguments -C \
    '--module=[the pictra.vxm to load]:module:_files -g "*.vxm"' \
    '(- *)--help[show help]' \
    '(- *)--version[show the version]' \
    '1:subcommand:((
        formats\:"list the formats the module can save"
        info\:"show the attributes and pictures of icons"
        extract\:"write every picture of icons as RGBA PNG"
        convert\:"save icons in another format"
        create\:"make icons from pictures"
        set\:"edit the attributes of Amiga icons"
        sheet\:"draw every picture of icons into one PNG"))' \
    '*::arg:->args' && return

  case $words[1] in
    formats)
      _arguments '--json[one JSON object per format]' ;;
    info)
      _arguments $batch '(--table)--json[one JSON object per file]' \
        '(--json)--table[one line per picture]' '*:icon:_files' ;;
    extract)
      _arguments $batch '(-o --output)'{-o+,--output=}'[output folder]:folder:_files -/' \
        '*:icon:_files' ;;
    convert)
      _arguments $batch $saving \
        '--exact[refuse instead of adapting pictures]' \
        '--fit=[how a picture reaches a missing size]:fit:(scale pad)' \
        '*:icon:_files' ;;
    create)
      _arguments $batch $saving \
        '--sizes=[sizes to make]:sizes:' \
        '--selected=[picture shown when selected]:art:_files' \
        "--type=[Amiga icon type]:type:($types)" \
        '--default-tool=[default tool]:text:' \
        '*--tool-type=[add a tool type]:text:' \
        '--stack=[stack size]:bytes:' \
        '*:file:_files' ;;
    set)
      _arguments $batch \
        "--type=[Amiga icon type]:type:($types)" \
        '(--no-default-tool)--default-tool=[set the default tool]:text:' \
        '(--default-tool)--no-default-tool[remove the default tool]' \
        '*--tool-type=[add a tool type]:text:' \
        '*--remove-tool-type=[remove a tool type by name]:name:' \
        '*--set-tool-type=[replace or add a tool type]:name=value:' \
        '--clear-tool-types[remove every tool type]' \
        '--stack=[stack size]:bytes:' \
        '(--no-position)--position=[place in the window]:x,y:' \
        '(--position)--no-position[let the desktop place the icon]' \
        '--drawer=[drawer window]:left,top,width,height:' \
        '--view-mode=[drawer view mode]:mode:' \
        '--show-all=[show every file in the drawer]:show:(yes no)' \
        '--dry-run[show the change, write nothing]' \
        '*:icon:_files -g "*.info"' ;;
    sheet)
      _arguments $batch \
        '(-o --output)'{-o+,--output=}'[the PNG file to write]:sheet:_files -g "*.png"' \
        '--scale=[draw pictures N times their size]:scale:' \
        '*:icon or folder:_files' ;;
  esac
}

_pictra "$@"
