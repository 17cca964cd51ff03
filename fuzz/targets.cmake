# The fuzz targets: fuzz/<name>_fuzzer.cpp each, with a corpus in fuzz/corpus/<name>/.
set(PLANKSCALE_FUZZ_TARGETS text_channel report_path text_support exports view_request recording_files)
# What a target links besides the plug-in's core.
set(PLANKSCALE_FUZZ_LIBRARIES_view_request kymhost_view)
set(PLANKSCALE_FUZZ_LIBRARIES_recording_files kymhost_core)
set(PLANKSCALE_FUZZ_SUPPORT
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_support.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_world.cpp)
set(PLANKSCALE_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
