# cmake -DBUILD_DIR=<build> -DPREFIX=<empty folder to install to> -P checkinstall.cmake
foreach(var BUILD_DIR PREFIX)
  if(NOT ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

# Installing needs every installed program built; after a full build this does nothing.
execute_process(
  COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR}
          --target pondrel pondrel-registry pondrel-sim pondrel-monitor
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building the installed programs failed (${result})")
endif()

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${result})")
endif()

set(programs bin/pondrel bin/pondrel-registry bin/pondrel-sim bin/pondrel-monitor)
set(expected
  ${programs}
  share/applications/pondrel.desktop
  share/icons/hicolor/scalable/apps/pondrel.svg
  share/pondrel/help/Scale/Scale_Definition_Editor.htm)
foreach(size 16 32 48 64 128 256)
  list(APPEND expected share/icons/hicolor/${size}x${size}/apps/pondrel.png)
endforeach()

set(faults)
foreach(path IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${path})
    list(APPEND faults "missing: ${path}")
  endif()
endforeach()
foreach(path IN LISTS programs)
  if(EXISTS ${PREFIX}/${path} AND NOT IS_DIRECTORY ${PREFIX}/${path})
    file(READ ${PREFIX}/${path} head LIMIT 4 HEX)
    if(NOT head STREQUAL "7f454c46") # an ELF executable
      list(APPEND faults "not a program: ${path}")
    endif()
  endif()
endforeach()

# The menu entry must start the installed program and name the installed icon.
if(EXISTS ${PREFIX}/share/applications/pondrel.desktop)
  file(STRINGS ${PREFIX}/share/applications/pondrel.desktop entry)
  list(FILTER entry INCLUDE REGEX "^(Exec|Icon)=")
  foreach(line IN LISTS entry)
    if(line MATCHES "^Exec=([^ ]+)")
      if(NOT EXISTS ${PREFIX}/bin/${CMAKE_MATCH_1})
        list(APPEND faults "the desktop entry starts ${CMAKE_MATCH_1}, which is not installed")
      endif()
    elseif(line MATCHES "^Icon=(.+)$")
      if(NOT EXISTS ${PREFIX}/share/icons/hicolor/48x48/apps/${CMAKE_MATCH_1}.png)
        list(APPEND faults "the desktop entry names the icon ${CMAKE_MATCH_1}, which is not installed")
      endif()
    endif()
  endforeach()
endif()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "the installed tree under ${PREFIX} is incomplete:\n  ${text}")
endif()
message(STATUS "installed tree under ${PREFIX} is complete")
