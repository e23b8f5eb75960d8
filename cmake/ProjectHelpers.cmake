# Settings every target of our own shares.
function(ravo_project_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Hidden symbols by default; the export macros open the public interface.
function(ravo_hidden_visibility target)
  set_target_properties(${target} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# Adds every immediate subfolder of DIR (relative to the current source
# folder) that has a CMakeLists.txt, so new subsystems join the build
# without editing their parent.
function(ravo_add_subdirectories_of dir)
  set(base "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT dir STREQUAL ".")
    set(base "${base}/${dir}")
  endif()
  if(NOT IS_DIRECTORY "${base}")
    return()
  endif()
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS "${base}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${child}" AND EXISTS "${child}/CMakeLists.txt")
      add_subdirectory("${child}")
    endif()
  endforeach()
endfunction()
