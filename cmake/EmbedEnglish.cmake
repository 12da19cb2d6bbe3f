# Writes the [English] section of the language file as a C++ raw string
# literal: the program's built-in texts come from the one file translators
# edit. cmake -DIN=Languages.lng -DOUT=builtin_english.inc -P EmbedEnglish.cmake
file(READ "${IN}" text)
string(FIND "${text}" "[English]" begin)
if(begin EQUAL -1)
  message(FATAL_ERROR "${IN} has no [English] section")
endif()
string(SUBSTRING "${text}" ${begin} -1 text)
# The section ends where the next one begins.
string(FIND "${text}" "\n[" end)
if(NOT end EQUAL -1)
  string(SUBSTRING "${text}" 0 ${end} text)
endif()
file(WRITE "${OUT}.new" "R\"zd573lng(${text}\n)zd573lng\"\n")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
