# The editor: widget layer, its platform back end (X11 on Linux, Win32 on
# Windows), the editor base and the About box. The view itself is compiled
# into the module beside the controller.
set(_widgets
  widgets/cbitmap.cpp
  widgets/cview.cpp
  widgets/controls.cpp
  widgets/cframe.cpp
  widgets/ctext.cpp
  widgets/cmenu.cpp
  sdkgap/vstguieditor.cpp
)
# The widget layer's typeface: cells of ink coverage (tools/gen_font.py).
brontal_add_resources(brontal_widget_font widgetfont.h widgetfont "${PROJECT_SOURCE_DIR}/resource/font/mono11.bmp")

if(WIN32)
  add_library(brontal_editor STATIC
    ${_widgets}
    platform/win32/win32windowclass.cpp
    platform/win32/win32window.cpp
    platform/win32/win32platform.cpp
    platform/win32/win32resources.cpp
    platform/win32/win32aboutdialog.cpp
    platform/win32/win32filedialog.cpp
  )
  target_link_libraries(brontal_editor PUBLIC vst3sdk PRIVATE user32 gdi32 comdlg32 shell32)
else()
  find_package(X11 REQUIRED)
  find_package(PNG REQUIRED)
  if(NOT X11_Xft_FOUND)
    message(FATAL_ERROR "Xft not found (install libxft-dev)")
  endif()
  add_library(brontal_editor STATIC
    ${_widgets}
    platform/x11/x11connection.cpp
    platform/x11/x11image.cpp
    platform/x11/x11window.cpp
    platform/x11/x11platform.cpp
    platform/x11/x11filedialog.cpp
    platform/x11/x11aboutdialog.cpp
    platform/x11/aboutlayout.cpp
    editorresources.cpp
  )
  target_link_libraries(brontal_editor PUBLIC vst3sdk brontal_art PRIVATE X11::X11 X11::Xft PNG::PNG)
endif()
target_include_directories(brontal_editor PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}")
target_link_libraries(brontal_editor PUBLIC brontal_version PRIVATE brontal_widget_font brontal_warnings)
