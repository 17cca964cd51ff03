# The same commit builds the same bytes, in whatever folder and at whatever time: the build date of
# the version block is the last commit's date (SOURCE_DATE_EPOCH, when set, wins), and the Windows
# programs carry neither a link time in their PE headers nor the folders they were built in.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE last_commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_result ERROR_QUIET)
    if(git_result EQUAL 0 AND last_commit_time MATCHES "^[0-9]+$")
      set(ENV{SOURCE_DATE_EPOCH} ${last_commit_time})  # read by string(TIMESTAMP)
    endif()
  endif()
endif()

if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
  # The build folder lies inside the source folder: GCC tries the later, longer prefix first.
  add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=. -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
endif()
