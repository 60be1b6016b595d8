# Writes the menu entry when installing: Exec names the installed launcher by
# its full path, quoted and escaped as desktop entries require, so that the
# menu finds it whether or not its folder is on the PATH.
cmake_path(ABSOLUTE_PATH MD_ENTRY_BINDIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}" OUTPUT_VARIABLE bindir)
set(exec "${bindir}/marrowdigger")
# Inside the quotes: backslash, quote, backquote and dollar take a backslash.
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\"" "\\\"" exec "${exec}")
string(REPLACE "`" "\\`" exec "${exec}")
string(REPLACE "$" "\\$" exec "${exec}")
# Then as a string value: backslashes doubled again, percent signs doubled.
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
set(MD_ENTRY_EXEC "\"${exec}\"")
configure_file("${MD_ENTRY_TEMPLATE}" "${MD_ENTRY_FILE}" @ONLY)
