# The LV2 bundle: build/LV2/brontal.lv2 with the DSP and UI binaries and the
# descriptions and presets brontal-lv2ttl writes from the parameter and
# preset tables.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LV2 REQUIRED IMPORTED_TARGET GLOBAL lv2)
set(BRONTAL_LV2_DIR "${CMAKE_BINARY_DIR}/LV2/brontal.lv2" CACHE INTERNAL "")

# The player's MIDI mappings and programs, as the VST 3 module reads them.
add_library(brontal_lv2 MODULE lv2/lv2plugin.cpp midimap.cpp programs.cpp platform/posix/posixconfigfolder.cpp)
target_include_directories(brontal_lv2 PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(brontal_lv2 PRIVATE brontal_dsp brontal_presets brontal_version PkgConfig::LV2 brontal_warnings)
set_target_properties(brontal_lv2 PROPERTIES
  PREFIX ""
  OUTPUT_NAME brontal
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LIBRARY_OUTPUT_DIRECTORY "${BRONTAL_LV2_DIR}")
target_link_options(brontal_lv2 PRIVATE -Wl,--exclude-libs,ALL)
if(NOT BRONTAL_SANITIZE AND NOT BRONTAL_TSAN)
  target_link_options(brontal_lv2 PRIVATE -Wl,--no-undefined)
endif()

# The UI: the VST 3 editor's view (the same source) over the widget layer.
add_library(brontal_lv2ui MODULE lv2/lv2ui.cpp brontaleditorview.cpp)
target_include_directories(brontal_lv2ui PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(brontal_lv2ui PRIVATE brontal_editor vst3sdk PkgConfig::LV2 brontal_warnings)
set_target_properties(brontal_lv2ui PROPERTIES
  PREFIX ""
  OUTPUT_NAME brontal_ui
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LIBRARY_OUTPUT_DIRECTORY "${BRONTAL_LV2_DIR}")
target_link_options(brontal_lv2ui PRIVATE -Wl,--exclude-libs,ALL)
if(NOT BRONTAL_SANITIZE AND NOT BRONTAL_TSAN)
  target_link_options(brontal_lv2ui PRIVATE -Wl,--no-undefined)
endif()

add_executable(brontal-lv2ttl lv2/lv2ttl.cpp)
# The factory presets' table is shared with brontal-presets.
target_include_directories(brontal-lv2ttl PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}/tools")
target_link_libraries(brontal-lv2ttl PRIVATE brontal_version brontal_warnings)
add_custom_command(
  OUTPUT "${BRONTAL_LV2_DIR}/manifest.ttl" "${BRONTAL_LV2_DIR}/brontal.ttl" "${BRONTAL_LV2_DIR}/presets.ttl"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${BRONTAL_LV2_DIR}"
  COMMAND brontal-lv2ttl "${BRONTAL_LV2_DIR}"
  DEPENDS brontal-lv2ttl
  COMMENT "Writing the LV2 descriptions")
add_custom_target(lv2_bundle ALL
  DEPENDS brontal_lv2 brontal_lv2ui "${BRONTAL_LV2_DIR}/manifest.ttl" "${BRONTAL_LV2_DIR}/brontal.ttl"
          "${BRONTAL_LV2_DIR}/presets.ttl")

install(DIRECTORY "${BRONTAL_LV2_DIR}" DESTINATION lib/lv2 USE_SOURCE_PERMISSIONS)
