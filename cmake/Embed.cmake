# brontal_add_resources(<target> <header> <namespace> <file>...)
#
# Builds a static library <target> that carries the bytes of each file, pulled
# in with the assembler's .incbin so no data is ever turned into source text,
# and generates <header> (on the target's include path) declaring one accessor
# per file: `brontal::<namespace>::<name>()` returning a `brontal::Blob`, where
# <name> is the file name without its extension. Editing a file rebuilds it.
function(brontal_add_resources target header ns)
  set(_gen "${CMAKE_CURRENT_BINARY_DIR}/${target}")
  # PE objects keep read-only data in .rdata, have no section stack (the
  # compiler's code is in .text around top-level asm) and no symbol
  # visibility: a DLL exports only what its entry points name.
  if(WIN32)
    set(_section ".section .rdata,\\\"dr\\\"")
    set(_restore ".text")
    set(_hidden "")
  else()
    set(_section ".section .rodata")
    set(_restore ".previous")
    set(_hidden "\\n.hidden SYM_begin\\n.hidden SYM_end")
  endif()
  set(_hdr "#pragma once\n#include \"embeddedblob.h\"\nnamespace brontal::${ns} {\n")
  set(_src "#include \"${header}\"\n")
  set(_deps "")
  foreach(_file IN LISTS ARGN)
    get_filename_component(_abs "${_file}" ABSOLUTE)
    get_filename_component(_name "${_file}" NAME_WE)
    string(MAKE_C_IDENTIFIER "${_name}" _name)
    set(_sym "brontal_res_${ns}_${_name}")
    string(APPEND _hdr "Blob ${_name}();\n")
    string(REPLACE "SYM" "${_sym}" _hide "${_hidden}")
    string(APPEND _src
      "__asm__(\"${_section}\\n.balign 16\\n.globl ${_sym}_begin\\n.globl ${_sym}_end${_hide}\\n"
      "${_sym}_begin:\\n.incbin \\\"${_abs}\\\"\\n${_sym}_end:\\n.byte 0\\n${_restore}\\n\");\n"
      "extern \"C\" const unsigned char ${_sym}_begin[];\n"
      "extern \"C\" const unsigned char ${_sym}_end[];\n"
      "brontal::Blob brontal::${ns}::${_name}() { return {${_sym}_begin, static_cast<std::size_t>(${_sym}_end - ${_sym}_begin)}; }\n")
    list(APPEND _deps "${_abs}")
  endforeach()
  string(APPEND _hdr "}\n")
  file(CONFIGURE OUTPUT "${_gen}/${header}" CONTENT "${_hdr}" @ONLY)
  file(CONFIGURE OUTPUT "${_gen}/${target}.cpp" CONTENT "${_src}" @ONLY)
  set_source_files_properties("${_gen}/${target}.cpp" PROPERTIES OBJECT_DEPENDS "${_deps}")
  add_library(${target} STATIC "${_gen}/${target}.cpp")
  target_include_directories(${target} PUBLIC "${_gen}" "${PROJECT_SOURCE_DIR}/source")
endfunction()
