# Compiles a program's resource script with windres and links the result into the program.
# Windows build: a COFF object, as any Windows program carries its resources.
# Host build: a standard .res file, preprocessed against our own win32/include only, embedded as a
# byte array that the emulation layer parses at run time.
find_program(TARVEX_WINDRES NAMES i686-w64-mingw32-windres x86_64-w64-mingw32-windres windres REQUIRED)

function(tarvex_add_resources target rc_file)
  get_filename_component(rc_path "${rc_file}" ABSOLUTE)
  get_filename_component(rc_dir "${rc_path}" DIRECTORY)
  get_filename_component(rc_name "${rc_path}" NAME_WE)
  if(TARVEX_WINDOWS_BUILD)
    set(obj "${CMAKE_CURRENT_BINARY_DIR}/${rc_name}_res.o")
    add_custom_command(OUTPUT "${obj}"
      COMMAND ${CMAKE_RC_COMPILER} -I "${rc_dir}" -O coff -i "${rc_path}" -o "${obj}"
      DEPENDS "${rc_path}" ${ARGN}
      COMMENT "windres ${rc_name}.rc")
    target_sources(${target} PRIVATE "${obj}")
  else()
    set(res "${CMAKE_CURRENT_BINARY_DIR}/${rc_name}.res")
    set(cpp "${CMAKE_CURRENT_BINARY_DIR}/${rc_name}_res.cpp")
    file(GLOB header_deps "${PROJECT_SOURCE_DIR}/win32/include/*.h")
    add_custom_command(OUTPUT "${res}"
      COMMAND "${TARVEX_WINDRES}" --preprocessor=cpp
              --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
              --preprocessor-arg=-nostdinc
              -I "${PROJECT_SOURCE_DIR}/win32/include" -I "${rc_dir}"
              -O res -i "${rc_path}" -o "${res}"
      DEPENDS "${rc_path}" ${header_deps} ${ARGN}
      COMMENT "windres ${rc_name}.rc (host)")
    add_custom_command(OUTPUT "${cpp}"
      COMMAND ${CMAKE_COMMAND} -DINPUT=${res} -DOUTPUT=${cpp}
              -P "${PROJECT_SOURCE_DIR}/cmake/embed_res.cmake"
      DEPENDS "${res}" "${PROJECT_SOURCE_DIR}/cmake/embed_res.cmake")
    # Its own object library, so that the tests of the program's modules can link the very same
    # resources (tests/CMakeLists.txt links <area>_resources when it exists).
    add_library(${target}_resources OBJECT "${cpp}")
    target_link_libraries(${target} PRIVATE ${target}_resources)
  endif()
endfunction()
