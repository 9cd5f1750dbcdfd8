# The editor: widget layer, its X11 back end, the editor base and the About
# box. The view itself is compiled into the module beside the controller.
find_package(X11 REQUIRED)
find_package(PNG REQUIRED)
if(NOT X11_Xft_FOUND)
  message(FATAL_ERROR "Xft not found (install libxft-dev)")
endif()

add_library(brontal_editor STATIC
  widgets/cbitmap.cpp
  widgets/cview.cpp
  widgets/controls.cpp
  widgets/cframe.cpp
  platform/x11/x11connection.cpp
  platform/x11/x11image.cpp
  platform/x11/x11window.cpp
  platform/x11/x11platform.cpp
  sdkgap/vstguieditor.cpp
  editorresources.cpp
  aboutdialog.cpp
  platform/x11/aboutlayout.cpp
)
target_include_directories(brontal_editor PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
target_compile_options(brontal_editor PRIVATE ${BRONTAL_WARNINGS})
target_link_libraries(brontal_editor PUBLIC vst3sdk brontal_art PRIVATE X11::X11 X11::Xft PNG::PNG)
