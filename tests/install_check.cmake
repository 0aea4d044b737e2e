# Installs the build into a scratch prefix and checks the desktop integration:
# the program, the menu entry named after the application id, and the icon.
#   cmake -DBUILD=<build dir> -DPREFIX=<scratch dir> -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/zyl share/applications/ru.ostrel.zyl.desktop
          share/icons/hicolor/128x128/apps/ru.ostrel.zyl.png)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(READ ${PREFIX}/share/applications/ru.ostrel.zyl.desktop entry)
foreach(line "Name=ZYL Launcher" "Exec=zyl" "Icon=ru.ostrel.zyl" "Type=Application")
  string(FIND "${entry}" "\n${line}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "desktop entry lacks ${line}")
  endif()
endforeach()
file(READ ${PREFIX}/share/icons/hicolor/128x128/apps/ru.ostrel.zyl.png head LIMIT 8 HEX)
if(NOT head STREQUAL "89504e470d0a1a0a")
  message(FATAL_ERROR "the icon is not a PNG")
endif()
file(REMOVE_RECURSE ${PREFIX})
