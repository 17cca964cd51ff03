# Warnings are errors on every compiler we build with.
add_compile_options(-Wall -Wextra -Werror -Wshadow -Wnon-virtual-dtor)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_compile_options(-Wno-unused-private-field)
endif()
