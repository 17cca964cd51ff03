# Script mode: writes OUTPUT, a C++ table of the resources listed in RESOURCES
# ("type|id|language|path|type|id|language|path|...").
include(${CMAKE_CURRENT_LIST_DIR}/embedded_bytes.cmake)
string(REPLACE "|" ";" items "${RESOURCES}")
set(body "")
set(table "")
set(index 0)
list(LENGTH items n)
set(i 0)
while(i LESS n)
  list(SUBLIST items ${i} 4 item)
  list(GET item 0 type)
  list(GET item 1 id)
  list(GET item 2 language)
  list(GET item 3 path)
  embedded_bytes("${path}" bytes size)
  string(APPEND body "const unsigned char kResource${index}[] = {${bytes} 0};\n")
  string(APPEND table "    {${type}, ${id}, ${language}, kResource${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
  math(EXPR i "${i} + 4")
endwhile()
if(index EQUAL 0)
  set(table "    {0, 0, 0, nullptr, 0},\n")
endif()
file(WRITE "${OUTPUT}.tmp" "// Generated from src/resources by cmake/embed_resources.cmake.
#include \"platform/posix/resources.h\"

namespace posix {
namespace {
${body}
const EmbeddedResource kTable[] = {
${table}};

// Registered before anything else of the module runs, as a loader maps resources first.
struct Registrar {
  Registrar() { RegisterPluginResources(kTable, ${index}); }
} registrar __attribute__((init_priority(101)));
}  // namespace

}  // namespace posix
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
