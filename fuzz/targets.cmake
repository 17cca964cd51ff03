# The fuzz targets: fuzz/<name>_fuzzer.cpp each, with a corpus in fuzz/corpus/<name>/.
set(PLANKSCALE_FUZZ_TARGETS text_channel report_path text_support exports recording_files)
set(PLANKSCALE_FUZZ_SUPPORT
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_world.cpp)
set(PLANKSCALE_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
