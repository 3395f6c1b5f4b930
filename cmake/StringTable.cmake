# Turns res/strings.txt (lines of "ID<TAB>TEXT", "\n" for a line break) into a C++ source that the
# core links, so the texts stay data in res/ while the core needs no resource system.
function(cantrix_generate_string_table out_var)
  set(src ${PROJECT_SOURCE_DIR}/res/strings.txt)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/string_table_data.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DIN=${src} -DOUT=${out} -P ${PROJECT_SOURCE_DIR}/cmake/EmbedStrings.cmake
    DEPENDS ${src} ${PROJECT_SOURCE_DIR}/cmake/EmbedStrings.cmake
    COMMENT "Embedding the string table")
  set(${out_var} ${out} PARENT_SCOPE)
endfunction()
