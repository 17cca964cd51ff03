# Each fuzz target linked with a replay main(): its committed corpus runs as an ordinary test.
# The targets drive the simulated world, so they replay in the native builds only.
include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)
foreach(name IN LISTS PLANKSCALE_FUZZ_TARGETS)
  add_executable(${name}_replay ${PLANKSCALE_FUZZ_DIR}/${name}_fuzzer.cpp ${PLANKSCALE_FUZZ_DIR}/replay_main.cpp
                 ${PLANKSCALE_FUZZ_SUPPORT})
  target_include_directories(${name}_replay PRIVATE ${PLANKSCALE_FUZZ_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name}_replay PRIVATE plankscale_core kymhost_core)
  add_test(NAME fuzz_replay.${name} COMMAND ${name}_replay ${PLANKSCALE_FUZZ_DIR}/corpus/${name})
  set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endforeach()
