# Native builds embed the files of src/resources so that FindResourceW and friends serve the
# same bytes the Windows resource compiler puts into the DLL.
#
# plankscale_embed_resources(OUTPUT file.cpp RESOURCES type id language path [type id language path ...])
function(plankscale_embed_resources)
  cmake_parse_arguments(ARG "" "OUTPUT" "RESOURCES" ${ARGN})
  set(inputs "")
  list(LENGTH ARG_RESOURCES n)
  set(i 0)
  while(i LESS n)
    math(EXPR p "${i} + 3")
    list(GET ARG_RESOURCES ${p} path)
    list(APPEND inputs ${path})
    math(EXPR i "${i} + 4")
  endwhile()
  string(REPLACE ";" "|" packed "${ARG_RESOURCES}")
  add_custom_command(
    OUTPUT ${ARG_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${ARG_OUTPUT} "-DRESOURCES=${packed}"
            -P ${PROJECT_SOURCE_DIR}/cmake/embed_resources.cmake
    DEPENDS ${inputs} ${PROJECT_SOURCE_DIR}/cmake/embed_resources.cmake ${PROJECT_SOURCE_DIR}/cmake/embedded_bytes.cmake
    COMMENT "Embedding resources"
    VERBATIM)
endfunction()
