# Run as a script: compresses the concatenation of INPUTS into one zstd frame
# and writes it as a C++ array of FRAME_SIZE bytes (zero-padded) named SYMBOL.
#   cmake -DZSTD=... -DINPUTS="a|b|c" -DOUTPUT=x.cpp -DSYMBOL=name -DFRAME_SIZE=443
#         -DNAMESPACE=ns -DHEADER=hdr.h -P EmbedZstdFrame.cmake
string(REPLACE "|" ";" INPUTS "${INPUTS}")
set(joined "${OUTPUT}.joined")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E cat ${INPUTS}
  OUTPUT_FILE "${joined}"
  RESULT_VARIABLE cat_result)
if(NOT cat_result EQUAL 0)
  message(FATAL_ERROR "cannot join ${INPUTS}")
endif()
execute_process(
  COMMAND "${ZSTD}" -19 -q -f -c "${joined}"
  OUTPUT_FILE "${OUTPUT}.zst"
  RESULT_VARIABLE zstd_result)
if(NOT zstd_result EQUAL 0)
  message(FATAL_ERROR "zstd failed on ${joined}")
endif()
file(READ "${OUTPUT}.zst" frame HEX)
string(LENGTH "${frame}" frame_hex_length)
math(EXPR frame_length "${frame_hex_length} / 2")
if(frame_length GREATER FRAME_SIZE)
  message(FATAL_ERROR "the template frame is ${frame_length} bytes, more than ${FRAME_SIZE}")
endif()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${frame}")
file(WRITE "${OUTPUT}"
  "// Generated from the readable template files at build time; do not edit.\n"
  "#include \"${HEADER}\"\n\n"
  "namespace ${NAMESPACE} {\n\n"
  "// ${frame_length} bytes of zstd frame, zero-padded.\n"
  "const std::array<uint8_t, ${FRAME_SIZE}> ${SYMBOL} = {${body}};\n"
  "const size_t ${SYMBOL}Length = ${frame_length};\n\n"
  "}\n")
file(REMOVE "${joined}" "${OUTPUT}.zst")
