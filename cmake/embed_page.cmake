# Script mode: writes OUTPUT, the C++ table of the live view's page files listed in FILES
# ("url path|content type|file|...", each of them UTF-8 text), so that kymhost serves them from its own bytes.
include(${CMAKE_CURRENT_LIST_DIR}/embedded_bytes.cmake)
string(REPLACE "|" ";" items "${FILES}")
set(body "")
set(table "")
set(index 0)
list(LENGTH items n)
set(i 0)
while(i LESS n)
  list(SUBLIST items ${i} 3 item)
  list(GET item 0 url)
  list(GET item 1 type)
  list(GET item 2 path)
  embedded_bytes("${path}" bytes size)
  string(APPEND body "const unsigned char kFile${index}[] = {${bytes} 0};\n")
  string(APPEND table "    {\"${url}\", \"${type}; charset=utf-8\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
  math(EXPR i "${i} + 3")
endwhile()
file(WRITE "${OUTPUT}.tmp" "// Generated from tools/kymhost/view/page by cmake/embed_page.cmake.
#include \"view/site.h\"

namespace kymhost {
namespace {
${body}}  // namespace

const PageFile kPageFiles[] = {
${table}};
const size_t kPageFileCount = ${index};

}  // namespace kymhost
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
