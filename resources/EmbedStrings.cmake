# cmake -DINPUT=strings.txt -DOUTPUT=string_table.cpp -P EmbedStrings.cmake
# Turns the string table (UTF-8 text: id, TAB, text) into C++ arrays of UTF-16 literals.
file(STRINGS ${INPUT} lines ENCODING UTF-8)
set(ids "")
set(texts "")
set(count 0)
foreach(line IN LISTS lines)
    if(line MATCHES "^#" OR line STREQUAL "")
        continue()
    endif()
    if(NOT line MATCHES "^([0-9]+)\t(.*)$")
        message(FATAL_ERROR "${INPUT}: not an id and a text: ${line}")
    endif()
    set(id ${CMAKE_MATCH_1})
    set(text "${CMAKE_MATCH_2}")
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(APPEND ids "    ${id},\n")
    string(APPEND texts "    u\"${text}\",\n")
    math(EXPR count "${count} + 1")
endforeach()
file(WRITE ${OUTPUT}.new
"// Generated from resources/strings.txt at build time; do not edit.
extern \"C\" {
extern const unsigned winlayer_string_language;
extern const unsigned winlayer_string_count;
extern const unsigned winlayer_string_ids[];
extern const char16_t* const winlayer_string_texts[];

const unsigned winlayer_string_language = 2052;
const unsigned winlayer_string_count = ${count};
const unsigned winlayer_string_ids[] = {
${ids}};
const char16_t* const winlayer_string_texts[] = {
${texts}};
}
")
# Rewritten only when it changes, so that an unchanged table rebuilds nothing.
execute_process(COMMAND ${CMAKE_COMMAND} -E copy_if_different ${OUTPUT}.new ${OUTPUT})
file(REMOVE ${OUTPUT}.new)
