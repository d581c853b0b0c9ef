# Writes INPUT (a compiled .res file) into OUTPUT as the byte array the emulation layer reads.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_len)
math(EXPR size "${hex_len} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}"
  "// Generated from ${INPUT}; do not edit.\n"
  "#include <cstddef>\n"
  "extern \"C\" const unsigned char w95_resource_data[] = {\n${bytes}\n};\n"
  "extern \"C\" const std::size_t w95_resource_size = ${size};\n")
