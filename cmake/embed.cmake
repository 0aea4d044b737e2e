# Turns a file into a C++ source with a byte array: cmake -DIN= -DOUT= -DNAME= -DHEADER= -P
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" n)
math(EXPR size "${n} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT} "// Generated at build time from ${IN}.\n#include \"${HEADER}\"\n\nconst unsigned char ${NAME}[] = {${bytes}};\nconst size_t ${NAME}_size = ${size};\n")
