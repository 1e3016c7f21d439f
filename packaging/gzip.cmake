# cmake -DINPUT=FILE -DOUTPUT=FILE.gz -P gzip.cmake
# Compresses one file as Debian wants it: best compression, no name or time stamp inside.
find_program(GZIP_PROGRAM gzip)
if(NOT GZIP_PROGRAM)
    message(FATAL_ERROR "gzip is needed to compress ${INPUT}")
endif()
execute_process(COMMAND ${GZIP_PROGRAM} -9 -n -c ${INPUT} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "gzip failed on ${INPUT}: ${result}")
endif()
