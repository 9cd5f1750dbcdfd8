# The plug-in module: brontal1.vst3/Contents/x86_64-linux/brontal1.so, or
# on Windows the DLL brontal1.vst3/Contents/x86_64-win/brontal1.vst3.
set(BRONTAL_BUNDLE_DIR "${CMAKE_BINARY_DIR}/VST3/brontal1.vst3" CACHE INTERNAL "")

if(WIN32)
  set(_arch x86_64-win)
  set(_entry sdkgap/moduleentry_win32.cpp platform/win32/win32configfolder.cpp "${PROJECT_SOURCE_DIR}/resource/brontal.rc")
else()
  set(_arch x86_64-linux)
  set(_entry sdkgap/moduleentry.cpp platform/posix/posixconfigfolder.cpp)
endif()
add_library(brontal1 MODULE
  brontal.cpp
  brontalcontroller.cpp
  brontaleditorview.cpp
  brontalstatestream.cpp
  factory.cpp
  midimap.cpp
  programs.cpp
  sdkgap/audioeffect.cpp
  sdkgap/pluginfactory.cpp
  ${_entry}
)
include(editor.cmake)
target_include_directories(brontal1 PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(brontal1 PRIVATE brontal_dsp brontal_editor brontal_presets vst3sdk brontal_version brontal_warnings)
set_target_properties(brontal1 PROPERTIES
  PREFIX ""
  OUTPUT_NAME brontal1
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LIBRARY_OUTPUT_DIRECTORY "${BRONTAL_BUNDLE_DIR}/Contents/${_arch}")
# Only the module entry points leave the module; static libraries stay private.
target_link_options(brontal1 PRIVATE -Wl,--exclude-libs,ALL)
# Every symbol resolved at link time, except in sanitizer builds, where clang
# leaves the runtime in the executable that loads the module.
if(NOT BRONTAL_SANITIZE AND NOT BRONTAL_TSAN)
  target_link_options(brontal1 PRIVATE -Wl,--no-undefined)
endif()
if(WIN32)
  set_target_properties(brontal1 PROPERTIES SUFFIX ".vst3")
  # The static runtime's DWARF sections mean nothing to Windows debuggers.
  target_link_options(brontal1 PRIVATE $<$<CONFIG:Release>:-s>)
  # The resource script finds its bitmaps and icon below resource/.
  file(GLOB _resource_files "${PROJECT_SOURCE_DIR}/resource/bitmaps/*.bmp" "${PROJECT_SOURCE_DIR}/resource/icon/*.ico")
  set_source_files_properties("${PROJECT_SOURCE_DIR}/resource/brontal.rc" PROPERTIES
    OBJECT_DEPENDS "${_resource_files};${CMAKE_CURRENT_SOURCE_DIR}/aboutresource.h;${PROJECT_BINARY_DIR}/generated/version.h"
    INCLUDE_DIRECTORIES "${PROJECT_SOURCE_DIR}/resource;${PROJECT_BINARY_DIR}/generated")
endif()
add_custom_command(TARGET brontal1 POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory "${BRONTAL_BUNDLE_DIR}/Contents/Resources")

install(DIRECTORY "${BRONTAL_BUNDLE_DIR}" DESTINATION lib/vst3 USE_SOURCE_PERMISSIONS)
