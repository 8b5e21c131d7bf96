# Writes a C++ source that holds a file's bytes: cmake -DINPUT= -DOUTPUT= -DFUNCTION= -P embed_file.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "std::byte{0x\\1}," bytes "${hex}")
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT}; do not edit.\n#include <cstddef>\n#include <span>\n"
  "namespace app {\nnamespace {\nconst std::byte kBytes[] = {${bytes}};\n}\n"
  "std::span<const std::byte> ${FUNCTION}() { return kBytes; }\n}\n")
